#include "disclosure/age/Bech32.h"

#include <cstdint>
#include <vector>

namespace disclosure::age {

namespace {

const char kCharset[] = "qpzry9x8gf2tvdw0s3jn54khce6mua7l";

std::uint32_t Polymod(const std::vector<std::uint8_t>& values) {
    static const std::uint32_t kGen[5] = {0x3b6a57b2, 0x26508e6d, 0x1ea119fa, 0x3d4233dd,
                                          0x2a1462b3};
    std::uint32_t chk = 1;
    for (std::uint8_t v : values) {
        const std::uint32_t top = chk >> 25;
        chk = ((chk & 0x1ffffff) << 5) ^ v;
        for (int i = 0; i < 5; ++i)
            if ((top >> i) & 1)
                chk ^= kGen[i];
    }
    return chk;
}

std::vector<std::uint8_t> Expanded(const std::string& prefix) {
    std::vector<std::uint8_t> out;
    for (char c : prefix)
        out.push_back(static_cast<std::uint8_t>(static_cast<unsigned char>(c) >> 5));
    out.push_back(0);
    for (char c : prefix)
        out.push_back(static_cast<std::uint8_t>(c & 31));
    return out;
}

// Regroups bits from groups of `from` to groups of `to`; pad: a short last group is filled with
// zeros (encoding), else it must be zeros and shorter than `from` (decoding).
std::optional<std::vector<std::uint8_t>> Regroup(const std::vector<std::uint8_t>& in, int from,
                                                 int to, bool pad) {
    std::vector<std::uint8_t> out;
    std::uint32_t acc = 0;
    int bits = 0;
    const std::uint32_t mask = (1u << to) - 1;
    for (std::uint8_t v : in) {
        acc = (acc << from) | v;
        bits += from;
        while (bits >= to) {
            bits -= to;
            out.push_back(static_cast<std::uint8_t>((acc >> bits) & mask));
        }
    }
    if (pad) {
        if (bits > 0)
            out.push_back(static_cast<std::uint8_t>((acc << (to - bits)) & mask));
    } else if (bits >= from || ((acc << (to - bits)) & mask) != 0) {
        return std::nullopt;
    }
    return out;
}

}  // namespace

std::string Bech32Encode(const std::string& prefix, const std::string& data) {
    const std::vector<std::uint8_t> bytes(data.begin(), data.end());
    std::vector<std::uint8_t> values = *Regroup(bytes, 8, 5, true);
    std::vector<std::uint8_t> check = Expanded(prefix);
    check.insert(check.end(), values.begin(), values.end());
    check.insert(check.end(), 6, 0);
    const std::uint32_t mod = Polymod(check) ^ 1;
    for (int i = 0; i < 6; ++i)
        values.push_back(static_cast<std::uint8_t>((mod >> (5 * (5 - i))) & 31));
    std::string out = prefix + "1";
    for (std::uint8_t v : values)
        out += kCharset[v];
    return out;
}

std::optional<Bech32Value> Bech32Decode(const std::string& text) {
    bool lower = false, upper = false;
    for (char c : text) {
        if (c < 33 || c > 126)
            return std::nullopt;
        lower = lower || (c >= 'a' && c <= 'z');
        upper = upper || (c >= 'A' && c <= 'Z');
    }
    if (lower && upper)
        return std::nullopt;
    std::string folded = text;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    const std::size_t sep = folded.rfind('1');
    if (sep == std::string::npos || sep == 0 || sep + 7 > folded.size())
        return std::nullopt;
    Bech32Value value{folded.substr(0, sep), {}};
    std::vector<std::uint8_t> values;
    for (std::size_t i = sep + 1; i < folded.size(); ++i) {
        const char* at = nullptr;
        for (const char* p = kCharset; *p; ++p)
            if (*p == folded[i])
                at = p;
        if (!at)
            return std::nullopt;
        values.push_back(static_cast<std::uint8_t>(at - kCharset));
    }
    std::vector<std::uint8_t> check = Expanded(value.prefix);
    check.insert(check.end(), values.begin(), values.end());
    if (Polymod(check) != 1)
        return std::nullopt;
    values.resize(values.size() - 6);
    const auto bytes = Regroup(values, 5, 8, false);
    if (!bytes)
        return std::nullopt;
    value.data.assign(bytes->begin(), bytes->end());
    return value;
}

}  // namespace disclosure::age
