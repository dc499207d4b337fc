// Builder side of the payload: the exact inverse of the installer's reader.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

struct PayloadShortcut {
    std::string linkName;  // ANSI (GBK) bytes
    std::string target;
    std::string icon;
    int32_t location = 0;
};

struct Payload {
    std::string productName, version, publisherKey, installDir, menuFolder;  // ANSI bytes
    std::vector<PayloadShortcut> shortcuts;
    Bytes images[6];    // packed items (block format); empty: no picture
    Bytes archives[2];  // complete ZIP archives, stored as they are
    Bytes uninstaller;  // packed item
};

// The payload's bytes, starting at kPayloadOffset. Fails (returns false with a
// message) for a text over 259 bytes or more than 8 shortcuts.
bool SerializePayload(const Payload& payload, Bytes* out, std::string* error);

// stub padded with zeros to kPayloadOffset, then the payload. Fails for a stub
// larger than kPayloadOffset.
bool MakeSetupImage(const Bytes& stub, const Payload& payload, Bytes* out, std::string* error);
