#include "export/RedactionCopy.h"

#include <cmath>
#include <map>

#include "backup/exhibit/JsonText.h"
#include "integrity/ImageHasher.h"
#include "integrity/Manifest.h"
#include "integrity/Sha256.h"
#include "integrity/Signing.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace {

using exhibit::JsonText;
using exhibit::JsonValue;

// A value read from the masks file written again.
void WriteGiven(JsonText& out, const JsonValue& v) {
    switch (v.kind) {
        case JsonValue::Kind::kNull:
            out.Value(std::string());  // never in a mask that was accepted
            break;
        case JsonValue::Kind::kBool:
            out.Value(v.truth);
            break;
        case JsonValue::Kind::kNumber:
            if (v.number == std::floor(v.number) && std::fabs(v.number) < 1e15)
                out.Value(static_cast<long long>(v.number));
            else
                out.Value(v.number);
            break;
        case JsonValue::Kind::kString:
            out.Value(v.text);
            break;
        case JsonValue::Kind::kArray:
            out.OpenList();
            for (const JsonValue& item : v.items)
                WriteGiven(out, item);
            out.CloseList();
            break;
        case JsonValue::Kind::kObject:
            out.Open();
            for (const auto& [name, member] : v.members) {
                out.Key(name);
                WriteGiven(out, member);
            }
            out.Close();
            break;
    }
}

std::string InCopy(const std::string& folder, const std::string& path) {
    return path.compare(0, folder.size() + 1, folder + "/") == 0 ? path.substr(folder.size() + 1)
                                                                 : path;
}

std::string AccountText(const std::string& folder, const MaskFile& masks,
                        const std::vector<RedactedFile>& files) {
    const video::RedactionPlan& plan = masks.plan;
    JsonText j;
    j.Open();
    j.Key("copy").Value("redacted copy");
    j.Key("master_manifest_hash").Value(plan.masterHash);
    j.Key("program").Value(std::string("quillon-cli ") + QUILLON_VERSION);
    j.Key("times").Value(
        "recorded times of the recorder's clock, as the files' subtitles show them");
    j.Key("masks").OpenList();
    for (std::size_t i = 0; i < plan.masks.size(); ++i) {
        const int index = static_cast<int>(i);
        j.Open().Key("given");
        WriteGiven(j, masks.document["masks"].items[i]);
        j.Key("method").Value(video::NameOf(plan.masks[i].method));
        j.Key("files").OpenList();
        for (const RedactedFile& f : files) {
            if (f.camera != plan.masks[i].camera)
                continue;
            const auto cover = f.hidden.masks.find(index);
            j.Open().Key("file").Value(InCopy(folder, f.path));
            j.Key("pictures").Value(cover == f.hidden.masks.end() ? 0LL : cover->second.pictures);
            if (cover != f.hidden.masks.end()) {
                j.Key("first").Value(cover->second.first);
                j.Key("last").Value(cover->second.last);
            }
            j.Close();
        }
        j.CloseList().Close();
    }
    j.CloseList();
    j.Key("mute").OpenList();
    for (std::size_t i = 0; i < plan.mutes.size(); ++i) {
        j.Open().Key("given");
        WriteGiven(j, masks.document["mute"].items[i]);
        j.Key("files").OpenList();
        for (const RedactedFile& f : files) {
            if (f.camera != plan.mutes[i].camera)
                continue;
            const auto muted = f.hidden.mutedSamples.find(static_cast<int>(i));
            const long long samples = muted == f.hidden.mutedSamples.end() ? 0 : muted->second;
            j.Open().Key("file").Value(InCopy(folder, f.path));
            j.Key("silenced_seconds").Value(static_cast<double>(samples) / 8000.0);
            j.Close();
        }
        j.CloseList().Close();
    }
    j.CloseList();
    j.Close();
    return j.text() + "\n";
}

bool FileHex(const std::string& path, std::string& hex) {
    platform::File f;
    if (!f.Open(path, platform::File::kRead))
        return false;
    integrity::Sha256 sha;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const long long n = f.Read(buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        sha.Update(buffer.data(), static_cast<std::size_t>(n));
    }
    hex = sha.HexFinal();
    return true;
}

}  // namespace

std::string WriteRedactionAccount(const std::string& folder, const MaskFile& masks,
                                  const std::vector<RedactedFile>& files) {
    const std::string account = folder + "/" + kRedactionAccountName;
    if (!platform::WriteTextAtomically(account, AccountText(folder, masks, files), true))
        return "the file " + account + " cannot be written";
    std::map<std::string, integrity::FileDigest> digests;
    std::vector<std::string> listed{account};
    for (const RedactedFile& f : files)
        listed.push_back(f.path);
    for (const std::string& path : listed)
        if (!FileHex(path, digests[InCopy(folder, path)].hex))
            return "the file " + path + " cannot be read back";
    const std::string manifest = integrity::FormatManifest(digests, {});
    const std::string signature = folder + "/" + integrity::kSignatureName;
    const std::string publicKey = folder + "/" + integrity::kPublicKeyName;
    const std::string manifestPath = folder + "/" + integrity::kManifestName;
    // An earlier copy's manifest or signature in the folder would vouch for files it never saw.
    platform::DeleteFile(manifestPath);
    platform::DeleteFile(signature);
    platform::DeleteFile(publicKey);
    const std::string keys = integrity::SigningKeyFolder();
    if (integrity::HasSigningKey(keys)) {
        std::string privatePem;
        platform::ReadWholeFile(integrity::PrivateKeyPath(keys), privatePem, 65536);
        const auto signed_ = integrity::Sign(privatePem, manifest);
        if (!signed_)
            return "the copy's manifest cannot be signed: " + signed_.error().text;
        if (!platform::WriteTextAtomically(signature, *signed_, true) ||
            !platform::WriteTextAtomically(publicKey, integrity::PublicPemOf(privatePem), true))
            return "the copy's signature cannot be written";
    }
    // The manifest last: under its name it has its signature beside it.
    if (!platform::WriteTextAtomically(manifestPath, manifest, true))
        return "the file " + manifestPath + " cannot be written";
    return std::string();
}
