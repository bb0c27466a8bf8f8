#include "records/HostInfo.h"

#include <cstring>

namespace {

constexpr std::size_t kLanguage = 32, kAddress = 37, kBase = 53, kFirstDrive = 303, kToday = 304,
                      kNames = 313;

unsigned char Byte(const std::string& b, std::size_t at) {
    return at < b.size() ? static_cast<unsigned char>(b[at]) : 0;
}

std::uint32_t U32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(Byte(b, at)) |
           static_cast<std::uint32_t>(Byte(b, at + 1)) << 8 |
           static_cast<std::uint32_t>(Byte(b, at + 2)) << 16 |
           static_cast<std::uint32_t>(Byte(b, at + 3)) << 24;
}

std::string Text(const std::string& b, std::size_t at, std::size_t width) {
    std::string out;
    for (std::size_t i = 0; i < width && at + i < b.size() && b[at + i] != '\0'; ++i)
        out += b[at + i];
    return out;
}

void PutU32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutText(std::string& b, std::size_t at, std::size_t width, const std::string& text) {
    std::memcpy(&b[at], text.data(), std::min(text.size(), width - 1));
}

}  // namespace

HostInfo ParseHostInfo(const std::string& b) {
    HostInfo h;
    h.dateType = static_cast<signed char>(Byte(b, 1));
    h.camCount = static_cast<std::int32_t>(U32(b, 4));
    h.port = static_cast<std::int32_t>(U32(b, 8));
    h.recorderKind = static_cast<std::int32_t>(U32(b, 12));
    h.modelCode = static_cast<std::int32_t>(U32(b, 16));
    h.driveMask = U32(b, 20);
    h.recordDriveMask = U32(b, 24) & 0x0FFFFFFF;
    h.excludeDriveMask = U32(b, 28);
    h.language = Text(b, kLanguage, 5);
    h.serverAddress = Text(b, kAddress, 16);
    h.basePath = Text(b, kBase, 250);
    h.firstDrive = static_cast<signed char>(Byte(b, kFirstDrive));
    h.today = Text(b, kToday, 9);
    for (std::size_t c = 0; c < 64; ++c) {
        const std::string name = Text(b, kNames + c * 31, 31);
        std::memcpy(h.cameraName[c], name.data(), std::min<std::size_t>(name.size(), 30));
    }
    return h;
}

std::string EncodeHostInfo(const HostInfo& h) {
    std::string b(kHostInfoBytes, '\0');
    b[1] = static_cast<char>(h.dateType);
    PutU32(b, 4, static_cast<std::uint32_t>(h.camCount));
    PutU32(b, 8, static_cast<std::uint32_t>(h.port));
    PutU32(b, 12, static_cast<std::uint32_t>(h.recorderKind));
    PutU32(b, 16, static_cast<std::uint32_t>(h.modelCode));
    PutU32(b, 20, h.driveMask);
    PutU32(b, 24, h.recordDriveMask);
    PutU32(b, 28, h.excludeDriveMask);
    PutText(b, kLanguage, 5, h.language);
    PutText(b, kAddress, 16, h.serverAddress);
    PutText(b, kBase, 250, h.basePath);
    b[kFirstDrive] = static_cast<char>(h.firstDrive);
    PutText(b, kToday, 9, h.today);
    for (std::size_t c = 0; c < 64; ++c)
        PutText(b, kNames + c * 31, 31, std::string(h.cameraName[c], strnlen(h.cameraName[c], 31)));
    return b;
}
