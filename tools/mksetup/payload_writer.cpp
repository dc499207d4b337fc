// Serialises a payload field by field in the order the installer reads it.
#include "tools/mksetup/payload_writer.h"

#include <stdint.h>
#include <string.h>

#include "payload/setup_info.h"

namespace {

const size_t kMaxText = kFieldSize - 1;

void PutUInt32(uint32_t value, Bytes* out) {
    for (int shift = 0; shift < 32; shift += 8)
        out->push_back(static_cast<uint8_t>(value >> shift));
}

void PutBytes(const uint8_t* data, size_t size, Bytes* out) {
    out->insert(out->end(), data, data + size);
}

// The installer keeps every text in a 260-byte field and uses it as a
// zero-terminated string: a longer text fails its read, and a zero byte would
// silently cut the text short.
bool CheckText(const std::string& text, const std::string& what, std::string* error) {
    if (text.size() > kMaxText) {
        *error = what + ": text of " + std::to_string(text.size()) + " bytes exceeds " +
                 std::to_string(kMaxText);
        return false;
    }
    if (text.find('\0') != std::string::npos) {
        *error = what + ": text contains a zero byte";
        return false;
    }
    return true;
}

void PutText(const std::string& text, Bytes* out) {
    PutUInt32(static_cast<uint32_t>(text.size()), out);
    PutBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out);
}

// A size field in front of its bytes; the reader takes sizes as signed 32-bit.
bool PutSized(const Bytes& data, const std::string& what, Bytes* out, std::string* error) {
    if (data.size() > static_cast<size_t>(INT32_MAX)) {
        *error = what + ": " + std::to_string(data.size()) + " bytes exceed 2 GiB";
        return false;
    }
    PutUInt32(static_cast<uint32_t>(data.size()), out);
    PutBytes(data.data(), data.size(), out);
    return true;
}

bool CheckTexts(const Payload& payload, std::string* error) {
    const struct {
        const std::string& text;
        const char* what;
    } fields[] = {
        {payload.productName, "product name"},   {payload.version, "version"},
        {payload.publisherKey, "publisher key"}, {payload.installDir, "installation directory"},
        {payload.menuFolder, "menu folder"},
    };
    for (const auto& field : fields)
        if (!CheckText(field.text, field.what, error)) return false;
    if (payload.shortcuts.size() > static_cast<size_t>(kMaxShortcuts)) {
        *error = std::to_string(payload.shortcuts.size()) + " shortcuts: at most " +
                 std::to_string(kMaxShortcuts);
        return false;
    }
    for (size_t i = 0; i < payload.shortcuts.size(); ++i) {
        const PayloadShortcut& s = payload.shortcuts[i];
        std::string what = "shortcut " + std::to_string(i);
        if (!CheckText(s.linkName, what + " link name", error) ||
            !CheckText(s.target, what + " target", error) ||
            !CheckText(s.icon, what + " icon", error))
            return false;
    }
    return true;
}

}  // namespace

bool SerializePayload(const Payload& payload, Bytes* out, std::string* error) {
    out->clear();
    if (!CheckTexts(payload, error)) return false;
    PutText(payload.productName, out);
    PutText(payload.version, out);
    PutText(payload.publisherKey, out);
    PutText(payload.installDir, out);
    PutText(payload.menuFolder, out);
    PutUInt32(static_cast<uint32_t>(payload.shortcuts.size()), out);
    for (const PayloadShortcut& s : payload.shortcuts) {
        PutText(s.linkName, out);
        PutText(s.target, out);
        PutText(s.icon, out);
        PutUInt32(static_cast<uint32_t>(s.location), out);
    }
    for (int i = 0; i < kImageCount; ++i)
        if (!PutSized(payload.images[i], "picture " + std::to_string(i), out, error)) return false;
    for (int k = 0; k < 2; ++k)
        if (!PutSized(payload.archives[k], "archive " + std::to_string(k), out, error))
            return false;
    if (!PutSized(payload.uninstaller, "uninstaller", out, error)) return false;
    return true;
}

bool MakeSetupImage(const Bytes& stub, const Payload& payload, Bytes* out, std::string* error) {
    out->clear();
    if (stub.size() > static_cast<size_t>(kPayloadOffset)) {
        *error = "program image of " + std::to_string(stub.size()) +
                 " bytes is larger than the payload offset " + std::to_string(kPayloadOffset);
        return false;
    }
    Bytes data;
    if (!SerializePayload(payload, &data, error)) return false;
    // The installer stores segment positions as signed 32-bit file offsets;
    // the uninstaller's data, the last segment, must start below 2 GiB.
    uint64_t lastStart = uint64_t(kPayloadOffset) + data.size() - payload.uninstaller.size();
    if (lastStart > static_cast<uint64_t>(INT32_MAX)) {
        *error = "payload too large: segment positions beyond 2 GiB";
        return false;
    }
    out->reserve(kPayloadOffset + data.size());
    out->assign(stub.begin(), stub.end());
    out->resize(kPayloadOffset, 0);
    PutBytes(data.data(), data.size(), out);
    return true;
}
