#include "exif_builder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace lensmeta::test {

Bytes ExifBuilder::encode16(uint16_t v) const {
    return little_ ? Bytes{uint8_t(v), uint8_t(v >> 8)} : Bytes{uint8_t(v >> 8), uint8_t(v)};
}

Bytes ExifBuilder::encode32(uint32_t v) const {
    Bytes b{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    if (little_)
        return Bytes(b.rbegin(), b.rend());
    return b;
}

ExifBuilder& ExifBuilder::ascii(Directory dir, uint16_t tag, const std::string& text) {
    Bytes data(text.begin(), text.end());
    data.push_back(0);
    dirs_[dir].push_back({tag, 2, uint32_t(data.size()), data});
    return *this;
}

ExifBuilder& ExifBuilder::shortValue(Directory dir, uint16_t tag, uint16_t value) {
    dirs_[dir].push_back({tag, 3, 1, encode16(value)});
    return *this;
}

ExifBuilder& ExifBuilder::longValue(Directory dir, uint16_t tag, uint32_t value) {
    dirs_[dir].push_back({tag, 4, 1, encode32(value)});
    return *this;
}

ExifBuilder& ExifBuilder::rationals(Directory dir, uint16_t tag,
                                    const std::vector<std::pair<uint32_t, uint32_t>>& values) {
    Bytes data;
    for (auto [n, d] : values) {
        Bytes a = encode32(n), b = encode32(d);
        data.insert(data.end(), a.begin(), a.end());
        data.insert(data.end(), b.begin(), b.end());
    }
    dirs_[dir].push_back({tag, 5, uint32_t(values.size()), data});
    return *this;
}

ExifBuilder& ExifBuilder::rawEntry(Directory dir, uint16_t tag, uint16_t format, uint32_t count,
                                   uint32_t field) {
    Entry e{tag, format, count, {}};
    e.raw = true;
    e.rawField = field;
    dirs_[dir].push_back(e);
    return *this;
}

Bytes ExifBuilder::payload() const {
    std::vector<Entry> dirs[3] = {dirs_[0], dirs_[1], dirs_[2]};
    // Pointer entries go first so that their place in IFD0 is known.
    if (!dirs[kExifIfd].empty())
        dirs[kIfd0].insert(dirs[kIfd0].begin(), Entry{0x8769, 4, 1, {}, true, 0});
    if (!dirs[kGpsIfd].empty())
        dirs[kIfd0].insert(dirs[kIfd0].begin(), Entry{0x8825, 4, 1, {}, true, 0});

    // TIFF layout: header (8), then each directory, then its out-of-line data.
    auto dirSize = [](const std::vector<Entry>& d) { return 2 + 12 * d.size() + 4; };
    uint32_t offsets[3];
    uint32_t pos = 8;
    for (int k = 0; k < 3; ++k) {
        offsets[k] = pos;
        if (k == 0 || !dirs[k].empty()) {
            pos += uint32_t(dirSize(dirs[k]));
            for (const Entry& e : dirs[k])
                if (!e.raw && e.data.size() > 4)
                    pos += uint32_t(e.data.size());
        }
    }
    for (Entry& e : dirs[kIfd0]) {
        if (e.tag == 0x8769 && e.raw && e.rawField == 0)
            e.rawField = offsets[kExifIfd];
        if (e.tag == 0x8825 && e.raw && e.rawField == 0)
            e.rawField = offsets[kGpsIfd];
    }

    Bytes tiff = little_ ? Bytes{'I', 'I'} : Bytes{'M', 'M'};
    auto append = [&tiff](const Bytes& b) { tiff.insert(tiff.end(), b.begin(), b.end()); };
    append(encode16(42));
    append(encode32(8));
    for (int k = 0; k < 3; ++k) {
        if (k != 0 && dirs[k].empty())
            continue;
        uint32_t dataPos = offsets[k] + uint32_t(dirSize(dirs[k]));
        Bytes outOfLine;
        append(encode16(uint16_t(dirs[k].size())));
        for (const Entry& e : dirs[k]) {
            append(encode16(e.tag));
            append(encode16(e.format));
            append(encode32(e.count));
            if (e.raw) {
                append(encode32(e.rawField));
            } else if (e.data.size() <= 4) {
                Bytes field = e.data;
                field.resize(4, 0);
                append(field);
            } else {
                append(encode32(dataPos + uint32_t(outOfLine.size())));
                outOfLine.insert(outOfLine.end(), e.data.begin(), e.data.end());
            }
        }
        append(encode32(0));
        append(outOfLine);
    }
    Bytes out{'E', 'x', 'i', 'f', 0, 0};
    out.insert(out.end(), tiff.begin(), tiff.end());
    return out;
}

Bytes ExifBuilder::jpeg() const { return jpegWithApp1(payload()); }

Bytes jpegWithApp1(const Bytes& payload) {
    if (payload.size() + 2 > 0xFFFF)
        throw std::length_error("APP1 payload too long for one segment");
    const size_t length = payload.size() + 2;
    Bytes out{0xFF, 0xD8, 0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length)};
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

Bytes readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace lensmeta::test
