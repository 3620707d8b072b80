// Loading korbscan at run time: from beside the program, and surviving a broken install.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "engine/system/KorbscanLibrary.h"

namespace korbelt {
namespace {

std::string ProgramDir() {
    const auto candidates = KorbscanLibrary::DefaultCandidates();
    const std::string& first = candidates.front();
    return first.substr(0, first.rfind('/'));
}

TEST(LibraryLoading, LooksBesideTheProgramFirstThenOnTheSearchPath) {
    const auto candidates = KorbscanLibrary::DefaultCandidates();
    ASSERT_EQ(candidates.size(), 2u);
    EXPECT_EQ(candidates[0], ProgramDir() + "/libkorbscan.so");
    EXPECT_EQ(candidates[1], "libkorbscan.so");
}

TEST(LibraryLoading, MissingLibraryThrowsWithTheSystemsReason) {
    KorbscanLibrary library({"/nonexistent/libkorbscan.so"});
    try {
        library.OpenFile("/tmp/x");
        FAIL() << "no exception";
    } catch (const Failure& e) {
        EXPECT_EQ(e.Kind(), FailureKind::LibraryUnavailable);
        EXPECT_NE(e.Message().find("/nonexistent/libkorbscan.so"), std::string::npos);
    }
}

TEST(LibraryLoading, FallsBackToTheNextCandidate) {
    KorbscanLibrary library({"/nonexistent/libkorbscan.so", ProgramDir() + "/libkorbscan.so"});
    const test::Bytes bytes = {13, 10, '-', 0, 0};
    EXPECT_EQ(library.ScanBuff(bytes.data(), 0, 3), 0);
}

TEST(LibraryLoading, MissingFunctionThrowsOnlyWhenThatFunctionIsCalled) {
    KorbscanLibrary library({ProgramDir() + "/partial/libkorbscan.so"});
    EXPECT_EQ(library.OpenFile("/tmp/whatever"), -1);  // the partial library's own answer
    const test::Bytes bytes(8, 0);
    try {
        library.ScanBuff(bytes.data(), 0, 3);
        FAIL() << "no exception";
    } catch (const Failure& e) {
        EXPECT_EQ(e.Kind(), FailureKind::LibraryUnavailable);
        EXPECT_NE(e.Message().find("korbScanBuff"), std::string::npos);
    }
}

}  // namespace
}  // namespace korbelt
