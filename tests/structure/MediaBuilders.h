#pragma once

// Small valid media files built from the formats' published descriptions, for the walkers'
// tests: an AVI with an OpenDML extension, a transport stream, an MP4 and a Matroska file.
#include <string>

#include "TempDir.h"
#include "verify/Digest.h"

namespace korbelt::test {

inline void PutLe32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void PutBe32(Bytes& out, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void Put(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }
inline void Put(Bytes& out, const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

// Subtitle-like payload with a CR LF '-' marker in it, n bytes.
inline Bytes Payload(std::size_t n, std::uint32_t seed) {
    Bytes bytes = RandomBytes(n, seed);
    const std::string line = "\r\n- Where are you going?\r\n";
    for (std::size_t i = 0; i < line.size() && i + 10 < n; ++i) bytes[10 + i] = static_cast<std::uint8_t>(line[i]);
    return bytes;
}

inline Bytes RiffChunk(const std::string& id, const Bytes& data) {
    Bytes out;
    Put(out, id);
    PutLe32(out, static_cast<std::uint32_t>(data.size()));
    Put(out, data);
    if (data.size() % 2 == 1) out.push_back(0);
    return out;
}
inline Bytes RiffList(const std::string& id, const std::string& type, const Bytes& chunks) {
    Bytes data;
    Put(data, type);
    Put(data, chunks);
    return RiffChunk(id, data);
}

// RIFF 'AVI ' with hdrl, movi of video and audio chunks (odd sizes padded), idx1; then an
// OpenDML 'AVIX' RIFF with a movi of its own and an 'ix00' index chunk.
inline Bytes Avi() {
    Bytes strl = RiffChunk("strh", Bytes(56, 1));
    Put(strl, RiffChunk("strf", Bytes(40, 2)));
    Bytes hdrl = RiffChunk("avih", Bytes(56, 3));
    Put(hdrl, RiffList("LIST", "strl", strl));
    Bytes movi, idx;
    for (int i = 0; i < 30; ++i) {
        const bool video = i % 3 != 2;
        const Bytes chunk = RiffChunk(video ? "00dc" : "01wb", Payload(video ? 801 + 13 * i : 400, i));
        Put(idx, video ? "00dc" : "01wb");
        PutLe32(idx, 16);
        PutLe32(idx, static_cast<std::uint32_t>(movi.size() + 4));
        PutLe32(idx, static_cast<std::uint32_t>(chunk.size() - 8));
        Put(movi, chunk);
    }
    Bytes avi = RiffList("LIST", "hdrl", hdrl);
    Put(avi, RiffList("LIST", "movi", movi));
    Put(avi, RiffChunk("idx1", idx));
    Bytes file = RiffList("RIFF", "AVI ", avi);
    Bytes extension;
    for (int i = 0; i < 10; ++i) Put(extension, RiffChunk("00dc", Payload(700 + i, 100 + i)));
    Put(extension, RiffChunk("ix00", Bytes(64, 0)));
    Put(file, RiffList("RIFF", "AVIX", RiffList("LIST", "movi", extension)));
    return file;
}

// count packets of packet bytes (188, or 192 with a time code first), sync byte 0x47.
inline Bytes TransportStream(int count, std::size_t packet) {
    Bytes out;
    for (int i = 0; i < count; ++i) {
        Bytes p = Payload(packet, 300 + i);
        const std::size_t sync = packet == 192 ? 4 : 0;
        for (std::size_t k = 0; k < packet; ++k) if (p[k] == 0x47) p[k] = 0x48;
        p[sync] = 0x47;
        Put(out, p);
    }
    return out;
}

inline Bytes IsoBox(const std::string& type, const Bytes& data) {
    Bytes out;
    PutBe32(out, static_cast<std::uint32_t>(data.size() + 8));
    Put(out, type);
    Put(out, data);
    return out;
}

// ftyp, free, mdat, then moov { mvhd, trak { tkhd, mdia { mdhd, minf { stbl { stsd, stsz,
// stco } } } }, udta } as a muxer that writes the index last leaves it.
inline Bytes Mp4() {
    Bytes file = IsoBox("ftyp", Bytes{'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm'});
    Put(file, IsoBox("free", {}));
    Put(file, IsoBox("mdat", Payload(20000, 7)));
    Bytes stbl = IsoBox("stsd", Bytes(40, 0));
    Put(stbl, IsoBox("stsz", Bytes(40, 0)));
    Put(stbl, IsoBox("stco", Bytes(24, 0)));
    const Bytes minf = IsoBox("stbl", stbl);
    Bytes mdia = IsoBox("mdhd", Bytes(24, 0));
    Put(mdia, IsoBox("minf", minf));
    Bytes trak = IsoBox("tkhd", Bytes(84, 0));
    Put(trak, IsoBox("mdia", mdia));
    Bytes moov = IsoBox("mvhd", Bytes(100, 0));
    Put(moov, IsoBox("trak", trak));
    Put(moov, IsoBox("udta", IsoBox("titl", Payload(90, 8))));
    Put(file, IsoBox("moov", moov));
    return file;
}

// An EBML element: its ID's bytes, an 8-byte size (or unknown), its data.
inline Bytes Ebml(std::uint32_t id, const Bytes& data, bool unknownSize = false) {
    Bytes out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if ((id >> shift) != 0 || shift == 0) out.push_back(static_cast<std::uint8_t>(id >> shift));
    }
    out.push_back(0x01);
    for (int i = 6; i >= 0; --i) {
        out.push_back(unknownSize ? 0xFF : static_cast<std::uint8_t>(data.size() >> (8 * i)));
    }
    Put(out, data);
    return out;
}
// An element with a CRC-32 element first over the rest of its data.
inline Bytes EbmlWithCrc(std::uint32_t id, const Bytes& data) {
    Bytes inner = {0xBF, 0x84};
    PutLe32(inner, Crc32(0, data.data(), data.size()));
    Put(inner, data);
    return Ebml(id, inner);
}

// EBML header, Segment { Info (with CRC-32), Tracks, Cluster with CRC-32 { Timestamp,
// SimpleBlocks }, Cluster without { ... }, Cues }.
inline Bytes Matroska(bool unknownClusters = false) {
    Bytes file = Ebml(0x1A45DFA3, Ebml(0x4282, {'w', 'e', 'b', 'm'}));
    Bytes segment = EbmlWithCrc(0x1549A966, Ebml(0x2AD7B1, {0x0F, 0x42, 0x40}));
    Put(segment, Ebml(0x1654AE6B, Ebml(0xAE, Bytes(30, 5))));
    for (int c = 0; c < 2; ++c) {
        Bytes blocks = Ebml(0xE7, {static_cast<std::uint8_t>(c)});
        for (int b = 0; b < 12; ++b) Put(blocks, Ebml(0xA3, Payload(300 + 17 * b, 40 + 12 * c + b)));
        Put(segment, unknownClusters ? Ebml(0x1F43B675, blocks, true)
                     : c == 0         ? EbmlWithCrc(0x1F43B675, blocks)
                                      : Ebml(0x1F43B675, blocks));
    }
    Put(segment, Ebml(0x1C53BB6B, Ebml(0xBB, Bytes(20, 6))));
    Put(file, Ebml(0x18538067, segment));
    return file;
}

}  // namespace korbelt::test

namespace korbelt::test {

// An MPEG-2 program stream: packs of a pack header, a system header in the first, and PES
// packets of video and audio; the end code.
inline Bytes ProgramStream() {
    Bytes out;
    for (int pack = 0; pack < 8; ++pack) {
        Put(out, Bytes{0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8});
        if (pack == 0) {
            Put(out, Bytes{0, 0, 1, 0xBB, 0, 6, 0x80, 0xC4, 0xE1, 0x04, 0xE1, 0xFF});
        }
        for (const std::uint8_t stream : {std::uint8_t{0xE0}, std::uint8_t{0xC0}}) {
            Bytes payload = Payload(stream == 0xE0 ? 900 + 31 * pack : 300, 500 + pack);
            for (std::size_t i = 0; i + 2 < payload.size(); ++i) {
                if (payload[i] == 0 && payload[i + 1] == 0) payload[i + 1] = 7;  // no start codes
            }
            Put(out, Bytes{0, 0, 1, stream, static_cast<std::uint8_t>(payload.size() >> 8),
                           static_cast<std::uint8_t>(payload.size())});
            Put(out, payload);
        }
    }
    Put(out, Bytes{0, 0, 1, 0xB9});
    return out;
}

// A 7z archive as its signature header describes it: the packed streams (here the members
// stored as they are), then the next header, whose CRC-32 the signature header holds.
inline Bytes SevenZip() {
    const Bytes packed = Payload(5000, 900);
    Bytes header = {0x01, 0x04, 0x06, 0x00};
    Put(header, Payload(120, 901));
    Bytes tail;
    for (int i = 0; i < 8; ++i) tail.push_back(static_cast<std::uint8_t>(packed.size() >> (8 * i)));
    for (int i = 0; i < 8; ++i) tail.push_back(static_cast<std::uint8_t>(header.size() >> (8 * i)));
    PutLe32(tail, Crc32(0, header.data(), header.size()));
    Bytes out = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4};
    PutLe32(out, Crc32(0, tail.data(), tail.size()));
    Put(out, tail);
    Put(out, packed);
    Put(out, header);
    return out;
}

}  // namespace korbelt::test

namespace korbelt::test {

// A RAR 4 archive of stored members: marker, main header, a file header and its data for
// each, the end block; each header's CRC the low half of its CRC-32.
inline Bytes Rar4(const std::vector<Bytes>& members) {
    const auto block = [](std::uint8_t type, std::uint16_t flags, const Bytes& rest) {
        Bytes header = {0, 0, type, static_cast<std::uint8_t>(flags), static_cast<std::uint8_t>(flags >> 8),
                        static_cast<std::uint8_t>(rest.size() + 7), static_cast<std::uint8_t>((rest.size() + 7) >> 8)};
        Put(header, rest);
        const std::uint32_t crc = Crc32(0, header.data() + 2, header.size() - 2);
        header[0] = static_cast<std::uint8_t>(crc);
        header[1] = static_cast<std::uint8_t>(crc >> 8);
        return header;
    };
    Bytes out = {'R', 'a', 'r', '!', 0x1a, 0x07, 0x00};
    Put(out, block(0x73, 0, Bytes(6, 0)));
    for (std::size_t i = 0; i < members.size(); ++i) {
        const std::string name = "part" + std::to_string(i) + ".txt";
        Bytes rest;
        PutLe32(rest, static_cast<std::uint32_t>(members[i].size()));
        PutLe32(rest, static_cast<std::uint32_t>(members[i].size()));
        rest.push_back(0);
        PutLe32(rest, Crc32(0, members[i].data(), members[i].size()));
        PutLe32(rest, 0x5A8B1C2D);
        rest.push_back(20);
        rest.push_back(0x30);
        rest.push_back(static_cast<std::uint8_t>(name.size()));
        rest.push_back(0);
        PutLe32(rest, 0x20);
        Put(rest, name);
        Put(out, block(0x74, 0x8000, rest));
        Put(out, members[i]);
    }
    Put(out, block(0x7B, 0x4000, {}));
    return out;
}

inline void PutVint(Bytes& out, std::uint64_t v) {
    do {
        out.push_back(static_cast<std::uint8_t>((v & 0x7F) | (v > 0x7F ? 0x80 : 0)));
        v >>= 7;
    } while (v != 0);
}

// A RAR 5 archive of stored members: signature, main header, a file header and its data for
// each, the end header; each header under its CRC-32.
inline Bytes Rar5(const std::vector<Bytes>& members) {
    const auto block = [](const Bytes& fields) {
        Bytes sized;
        PutVint(sized, fields.size());
        Put(sized, fields);
        Bytes out;
        PutLe32(out, Crc32(0, sized.data(), sized.size()));
        Put(out, sized);
        return out;
    };
    Bytes out = {'R', 'a', 'r', '!', 0x1a, 0x07, 0x01, 0x00};
    Put(out, block(Bytes{1, 0, 0}));
    for (std::size_t i = 0; i < members.size(); ++i) {
        const std::string name = "part" + std::to_string(i) + ".txt";
        Bytes fields = {2, 0x02};
        PutVint(fields, members[i].size());
        PutVint(fields, 0x0004);
        PutVint(fields, members[i].size());
        PutVint(fields, 0x20);
        PutLe32(fields, Crc32(0, members[i].data(), members[i].size()));
        PutVint(fields, 0);  // stored
        PutVint(fields, 1);
        PutVint(fields, name.size());
        Put(fields, name);
        Put(out, block(fields));
        Put(out, members[i]);
    }
    Put(out, block(Bytes{5, 0, 0}));
    return out;
}

}  // namespace korbelt::test
