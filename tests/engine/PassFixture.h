#pragma once

#include <gtest/gtest.h>

#include "FakeHost.h"
#include "Faults.h"
#include "RepairEngineTestPeer.h"
#include "TempDir.h"
#include "engine/RepairEngine.h"
#include "engine/system/KorbscanLibrary.h"
#include "engine/system/PosixFileSystem.h"

namespace korbelt::test {

// A repair engine on a real temporary directory and the real korbscan library, with every
// file operation passing through a fault plan and the window replaced by a recording host.
class PassFixture : public ::testing::Test {
  protected:
    // Runs one file the way the batch run does: a "Processing " line first.
    void Process(const std::string& path) {
        peer.SetOptions(options);
        run.listindex = host.status.AppendLine("Processing " + path);
        engine.ProcessFile(path);
    }

    // Writes bytes to a file of the test directory and returns its path.
    std::string Input(const std::string& name, const Bytes& bytes) {
        const std::string path = dir.File(name);
        WriteBytes(path, bytes);
        return path;
    }

    std::vector<std::string> Lines() const { return host.status.lines; }
    std::vector<std::string> Questions() const {
        return host.boxes.Texts(ScriptedBoxes::Kind::Question);
    }
    std::vector<std::string> Warnings() const {
        return host.boxes.Texts(ScriptedBoxes::Kind::Warning);
    }

    TempDir dir;
    FakeHost host;
    RunState run;
    RunOptions options;
    KorbscanLibrary library;
    PosixFileSystem realFs;
    FaultPlan faults;
    FaultyFileSystem fs{realFs, faults};
    FaultyRecordIo io{library, faults, FaultyRecordIo::Writes::RecordByRecord};
    RepairEngine engine{host, run, io, fs};
    RepairEngineTestPeer peer{engine};
};

// Places bytes into data at the index.
inline void Put(Bytes& data, std::size_t at, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<long>(at));
}

// CR LF '-' at the index, and a repeated byte at offsets offset and offset + 1 after the CR.
inline void PutRepeat(Bytes& data, std::size_t at, std::size_t offset, std::uint8_t value = 'R') {
    Put(data, at, {13, 10, '-'});
    data[at + offset] = value;
    data[at + offset + 1] = value;
}

// A wrapper start: CR CR LF and 29 dashes at the index.
inline void PutWrapperStart(Bytes& data, std::size_t at) {
    Put(data, at, {13, 13, 10});
    for (std::size_t i = 0; i < 29; ++i) {
        data[at + 3 + i] = '-';
    }
}

// Printable random data without 'R', without CR and without two equal neighbours: nothing
// in it is a find, and an 'R' pair put into it is the only pair around.
inline Bytes CleanBytes(std::size_t count, std::uint32_t seed) {
    Bytes bytes = RandomBytes(count, seed);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(32 + bytes[i] % 95);
        while (bytes[i] == 'R' || (i > 0 && bytes[i] == bytes[i - 1])) {
            bytes[i] = static_cast<std::uint8_t>(bytes[i] == 126 ? 32 : bytes[i] + 1);
        }
    }
    return bytes;
}

inline Bytes Without(const Bytes& data, std::size_t from, std::size_t count = 1) {
    Bytes out(data.begin(), data.begin() + static_cast<long>(from));
    out.insert(out.end(), data.begin() + static_cast<long>(from + count), data.end());
    return out;
}

}  // namespace korbelt::test
