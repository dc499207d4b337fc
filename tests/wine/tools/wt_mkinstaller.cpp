// Makes a test installer for the Wine tests from a stub and loose parts:
//
//   wt_mkinstaller STUB OUT KEY=VALUE...
//     name= version= publisher= dir= menu=          texts, passed on byte for byte (GBK)
//     shortcut=LINK|TARGET|ICON|LOCATION            up to 8, in order
//     image0= ... image5=                           BMP files, packed
//     zip0= zip1=                                   archives, stored as they are
//     uninstaller=                                  program file, packed
//
// Texts are not converted: the caller gives them in the installer's code page.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "tools/mksetup/lz_encoder.h"
#include "tools/mksetup/payload_writer.h"

namespace {

bool ReadFile(const std::string& path, Bytes* out) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    out->clear();
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        out->insert(out->end(), buffer, buffer + n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

bool WriteFile(const std::string& path, const Bytes& data) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

bool ReadPacked(const std::string& path, Bytes* out) {
    Bytes raw;
    if (!ReadFile(path, &raw)) return false;
    *out = LzEncode(raw.data(), raw.size());
    return true;
}

// LINK|TARGET|ICON|LOCATION
bool ParseShortcut(const std::string& value, PayloadShortcut* s) {
    size_t a = value.find('|');
    size_t b = a == std::string::npos ? a : value.find('|', a + 1);
    size_t c = b == std::string::npos ? b : value.find('|', b + 1);
    if (c == std::string::npos) return false;
    s->linkName = value.substr(0, a);
    s->target = value.substr(a + 1, b - a - 1);
    s->icon = value.substr(b + 1, c - b - 1);
    s->location = atoi(value.c_str() + c + 1);
    return true;
}

bool ApplySetting(const std::string& key, const std::string& value, Payload* p) {
    if (key == "name")
        p->productName = value;
    else if (key == "version")
        p->version = value;
    else if (key == "publisher")
        p->publisherKey = value;
    else if (key == "dir")
        p->installDir = value;
    else if (key == "menu")
        p->menuFolder = value;
    else if (key == "shortcut") {
        PayloadShortcut s;
        if (!ParseShortcut(value, &s)) return false;
        p->shortcuts.push_back(s);
    } else if (key.size() == 6 && key.compare(0, 5, "image") == 0 && key[5] >= '0' && key[5] <= '5')
        return ReadPacked(value, &p->images[key[5] - '0']);
    else if (key == "zip0" || key == "zip1")
        return ReadFile(value, &p->archives[key[3] - '0']);
    else if (key == "uninstaller")
        return ReadPacked(value, &p->uninstaller);
    else
        return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: wt_mkinstaller STUB OUT KEY=VALUE...\n");
        return 2;
    }
    Bytes stub;
    if (!ReadFile(argv[1], &stub)) {
        fprintf(stderr, "wt_mkinstaller: cannot read %s\n", argv[1]);
        return 1;
    }
    Payload payload;
    for (int i = 3; i < argc; ++i) {
        std::string arg = argv[i];
        size_t eq = arg.find('=');
        if (eq == std::string::npos ||
            !ApplySetting(arg.substr(0, eq), arg.substr(eq + 1), &payload)) {
            fprintf(stderr, "wt_mkinstaller: bad setting or unreadable file: %s\n", argv[i]);
            return 1;
        }
    }
    Bytes image;
    std::string error;
    if (!MakeSetupImage(stub, payload, &image, &error)) {
        fprintf(stderr, "wt_mkinstaller: %s\n", error.c_str());
        return 1;
    }
    if (!WriteFile(argv[2], image)) {
        fprintf(stderr, "wt_mkinstaller: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
