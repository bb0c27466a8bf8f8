#include "disclosure/age/Header.h"

#include <openssl/crypto.h>

#include "disclosure/age/Base64.h"
#include "disclosure/age/Primitives.h"

namespace disclosure::age {

using platform::Error;

namespace {

constexpr std::size_t kColumns = 64;

Error HeaderDamaged(const std::string& why) {
    return Error{Error::Kind::kDamaged, why, ""};
}

platform::Expected<std::string> HeaderMac(const std::string& fileKey, const std::string& text) {
    platform::Expected<std::string> key = Hkdf("", fileKey, "header", 32);
    if (!key)
        return key.error();
    return HmacSha256(*key, text);
}

bool ValidArg(const std::string& arg) {
    if (arg.empty())
        return false;
    for (char c : arg)
        if (c < 33 || c > 126)
            return false;
    return true;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t space = text.find(' ', start);
        parts.push_back(text.substr(start, space - start));
        if (space == std::string::npos)
            return parts;
        start = space + 1;
    }
}

}  // namespace

platform::Expected<std::string> HeaderText(const std::vector<Stanza>& stanzas,
                                           const std::string& fileKey) {
    std::string text = std::string(kVersionLine) + "\n";
    for (const Stanza& s : stanzas) {
        text += "-> " + s.type;
        for (const std::string& arg : s.args)
            text += " " + arg;
        text += "\n";
        const std::string body = Base64Encode(s.body);
        std::size_t at = 0;
        // Full lines, then one shorter, which may be empty: the reader knows the end by it.
        for (; body.size() - at >= kColumns; at += kColumns)
            text += body.substr(at, kColumns) + "\n";
        text += body.substr(at) + "\n";
    }
    text += "---";
    platform::Expected<std::string> mac = HeaderMac(fileKey, text);
    if (!mac)
        return mac.error();
    return text + " " + Base64Encode(*mac) + "\n";
}

platform::Expected<Header> ReadHeader(LineSource& in) {
    const long long start = in.offset();
    auto left = [&] {
        const long long used = in.offset() - start;
        return used >= static_cast<long long>(kMaxHeaderBytes)
                   ? std::size_t{0}
                   : kMaxHeaderBytes - static_cast<std::size_t>(used);
    };
    // A line that does not end within the header's room: the header is too large.
    auto next = [&]() -> platform::Expected<std::string> {
        platform::Expected<std::string> line = in.ReadLine(left());
        if (!line && line.error().text.rfind("has a header line longer", 0) == 0)
            return HeaderDamaged("has a header over " + std::to_string(kMaxHeaderBytes) + " bytes");
        return line;
    };
    platform::Expected<std::string> version = next();
    if (!version || *version != kVersionLine)
        return HeaderDamaged("is no age v1 file (its first line is not " +
                             std::string(kVersionLine) + ")");
    Header header;
    header.macedText = *version + "\n";
    for (;;) {
        platform::Expected<std::string> line = in.ReadLine(left());
        if (!line)
            return line.error().text.find("longer") != std::string::npos
                       ? HeaderDamaged("has a header over " + std::to_string(kMaxHeaderBytes) +
                                       " bytes")
                       : line.error();
        if (line->rfind("---", 0) == 0) {
            header.macedText += "---";
            const auto mac = line->size() > 4 && (*line)[3] == ' ' ? Base64Decode(line->substr(4))
                                                                   : std::nullopt;
            if (!mac || mac->size() != 32)
                return HeaderDamaged("has a header whose MAC line is malformed");
            header.mac = *mac;
            return header;
        }
        if (line->rfind("-> ", 0) != 0)
            return HeaderDamaged("has a header line that is no stanza");
        header.macedText += *line + "\n";
        std::vector<std::string> parts = Split(line->substr(3));
        for (const std::string& part : parts)
            if (!ValidArg(part))
                return HeaderDamaged("has a header stanza with a malformed argument");
        Stanza stanza{parts[0], std::vector<std::string>(parts.begin() + 1, parts.end()), {}};
        std::string body;
        for (;;) {
            platform::Expected<std::string> bodyLine = next();
            if (!bodyLine)
                return bodyLine.error();
            header.macedText += *bodyLine + "\n";
            if (bodyLine->size() > kColumns)
                return HeaderDamaged("has a stanza body line longer than 64 columns");
            body += *bodyLine;
            if (bodyLine->size() < kColumns)
                break;
        }
        const auto bytes = Base64Decode(body);
        if (!bytes)
            return HeaderDamaged("has a stanza body that is no canonical base64");
        stanza.body = *bytes;
        header.stanzas.push_back(std::move(stanza));
    }
}

platform::Expected<bool> HeaderMacMatches(const Header& header, const std::string& fileKey) {
    platform::Expected<std::string> mac = HeaderMac(fileKey, header.macedText);
    if (!mac)
        return mac.error();
    return mac->size() == header.mac.size() &&
           CRYPTO_memcmp(mac->data(), header.mac.data(), mac->size()) == 0;
}

}  // namespace disclosure::age
