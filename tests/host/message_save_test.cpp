// Atomic replacement of saved files: permissions, symlinks, and failures that leave the
// old file and no litter behind.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/atomic_file.h"
#include "host/lib/KXLMessage/voc_writer.h"
#include "host/KXLError.h"
#include "host/KXLMessageFile.h"
#include "test_files.h"
#include "test_tree.h"

namespace KXL::sys {

// GoogleTest's name for AtomicReplace's parameter (found by argument-dependent lookup).
void PrintTo(TempFile temp, std::ostream* out)
{
    *out << (temp == TempFile::Anonymous ? "Anonymous" : "Named");
}

} // namespace KXL::sys

namespace {

namespace fs = std::filesystem;
using KXL::sys::TempFile;
using testing::AllOf;
using testing::HasSubstr;

class AtomicReplace : public testing::TestWithParam<TempFile> {
protected:
    bool replace(const std::string& path, const std::string& content)
    {
        return KXL::sys::replaceFileAtomically(path, content, error, GetParam());
    }

    test_files::TempFolder dir;
    std::string error;
};

INSTANTIATE_TEST_SUITE_P(TempFiles, AtomicReplace, testing::Values(TempFile::Anonymous, TempFile::Named),
    [](const auto& info) { return testing::PrintToString(info.param); });

TEST_P(AtomicReplace, ReplacesContentAndLeavesNoTemporaryFile)
{
    const std::string path = dir.file("v.voc");
    test_files::writeFile(path, "old content that is longer than the new one");
    ASSERT_TRUE(replace(path, "new")) << error;
    EXPECT_EQ(test_files::readFile(path), "new");
    EXPECT_EQ(dir.entries(), std::set<std::string>{"v.voc"});
}

TEST_P(AtomicReplace, SymlinkAtThePathIsReplacedNotFollowed)
{
    const std::string target = dir.file("target");
    test_files::writeFile(target, "keep");
    const std::string link = dir.file("link.voc");
    fs::create_symlink(target, link);
    const std::string dangling = dir.file("dangling.voc");
    fs::create_symlink(dir.file("would-be-created"), dangling);

    ASSERT_TRUE(replace(link, "new")) << error;
    ASSERT_TRUE(replace(dangling, "new")) << error;

    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(link)));
    EXPECT_EQ(test_files::readFile(link), "new");
    EXPECT_EQ(test_files::readFile(target), "keep");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dangling)));
    EXPECT_FALSE(fs::exists(dir.file("would-be-created")));
}

// A new file gets what a plain create gives, a replaced one keeps its permissions; others
// never get to write either, whatever the umask.
TEST_P(AtomicReplace, PermissionsAreKeptAndNeverWritableByOthers)
{
    const auto modeAfterSave = [&](mode_t mask, std::optional<mode_t> existing) -> mode_t {
        const std::string path = dir.file("perm.voc");
        std::remove(path.c_str());
        if (existing) {
            test_files::writeFile(path, "old");
            ::chmod(path.c_str(), *existing);
        }
        const mode_t previous = ::umask(mask);
        const bool replaced = replace(path, "x");
        ::umask(previous);
        EXPECT_TRUE(replaced) << error;
        struct stat status {};
        EXPECT_EQ(::stat(path.c_str(), &status), 0);
        return status.st_mode & 07777;
    };
    EXPECT_EQ(modeAfterSave(022, std::nullopt), 0644u);
    EXPECT_EQ(modeAfterSave(077, std::nullopt), 0600u);
    EXPECT_EQ(modeAfterSave(0, std::nullopt), 0664u);
    EXPECT_EQ(modeAfterSave(022, 0600), 0600u);
    EXPECT_EQ(modeAfterSave(0, 0751), 0751u);
    EXPECT_EQ(modeAfterSave(022, 0666), 0664u);
}

// A write that fails halfway (the file size limit binds root too): the old file stays as it
// was and the temporary file is gone.
TEST_P(AtomicReplace, FailedWriteKeepsOldFileAndRemovesTemporary)
{
    const std::string path = dir.file("v.voc");
    test_files::writeFile(path, "old");
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);

    const bool replaced = replace(path, std::string(65536, 'x'));

    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(replaced);
    EXPECT_THAT(error, HasSubstr(std::strerror(EFBIG)));
    EXPECT_EQ(test_files::readFile(path), "old");
    EXPECT_EQ(dir.entries(), std::set<std::string>{"v.voc"});
}

// A save killed before its rename leaves its temporary; the next save of the same file
// removes it, but not the temporary of a save still running (it holds a lock on it) nor
// those of other files.
TEST_P(AtomicReplace, NextSaveRemovesOnlyTemporariesOfKilledSaves)
{
    const std::string path = dir.file("v.voc");
    dir.write(".v.voc.0123456789abcdef.tmp", "killed save");
    const std::string running = dir.write(".v.voc.fedcba9876543210.tmp", "running save");
    dir.write(".w.voc.0123456789abcdef.tmp", "another file's save");
    const int held = ::open(running.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    const bool replaced = replace(path, "new");

    ::close(held);
    ASSERT_TRUE(replaced) << error;
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"v.voc", ".v.voc.fedcba9876543210.tmp",
                                                    ".w.voc.0123456789abcdef.tmp"}));
}

KXL::KXLDocument smallDocument()
{
    return kxltest::document({kxltest::text(1264, "experimental")});
}

struct UnwritablePath {
    const char* label;
    std::string (*make)(const test_files::TempFolder&);
    int expectedErrno;
};

void PrintTo(const UnwritablePath& path, std::ostream* out)
{
    *out << path.label;
}

class SaveFailure : public testing::TestWithParam<UnwritablePath> {};

INSTANTIATE_TEST_SUITE_P(Paths, SaveFailure, testing::Values(
    UnwritablePath{"MissingFolder", [](const test_files::TempFolder& d) { return d.file("missing/v.voc"); }, ENOENT},
    UnwritablePath{"ParentIsAFile", [](const test_files::TempFolder& d) {
        test_files::writeFile(d.file("plain"), "keep");
        return d.file("plain/v.voc");
    }, ENOTDIR},
    UnwritablePath{"PathIsAFolder", [](const test_files::TempFolder& d) {
        fs::create_directory(d.file("folder"));
        test_files::writeFile(d.file("folder/inside"), "keep");
        return d.file("folder");
    }, EISDIR}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_P(SaveFailure, ReportsPathAndReasonAndTouchesNothing)
{
    test_files::TempFolder dir;
    const std::string path = GetParam().make(dir);
    const std::set<std::string> before = dir.entries();

    EXPECT_NE(KXL::saveDocument(smallDocument(), path), 0);
    EXPECT_THAT(KXL::getErrorMessage(),
                AllOf(HasSubstr("\"" + path + "\""), HasSubstr(std::strerror(GetParam().expectedErrno))));
    EXPECT_EQ(dir.entries(), before);
    if (fs::exists(dir.file("plain"))) {
        EXPECT_EQ(test_files::readFile(dir.file("plain")), "keep");
    }
    if (fs::exists(dir.file("folder"))) {
        EXPECT_EQ(test_files::readFile(dir.file("folder/inside")), "keep");
    }
}

TEST(SaveDocument, PathWithoutAFileNameIsRefused)
{
    test_files::TempFolder dir;
    for (const std::string& path : {std::string(), dir.file("") + "/", dir.file(".."), std::string("/")}) {
        EXPECT_NE(KXL::saveDocument(smallDocument(), path), 0) << path;
        EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("cannot save")) << path;
    }
    EXPECT_TRUE(dir.entries().empty());
}

// The system would end the path at the NUL and use another file: refused, and said whole.
TEST(SaveDocument, PathWithANulIsRefusedNotCut)
{
    test_files::TempFolder dir;
    const std::string path = dir.file("A.voc") + std::string(1, '\0') + ".bak";
    EXPECT_NE(KXL::saveDocument(smallDocument(), path), 0);
    EXPECT_EQ(std::string(KXL::getErrorMessage()),
              "cannot save \"" + dir.file("A.voc") + "\": the path holds a NUL byte");
    EXPECT_TRUE(dir.entries().empty());

    ASSERT_EQ(KXL::saveDocument(smallDocument(), dir.file("A.voc")), 0);
    KXL::KXLDocument loaded;
    EXPECT_NE(KXL::loadDocument(path, loaded), 0);
    EXPECT_EQ(std::string(KXL::getErrorMessage()),
              "cannot load \"" + dir.file("A.voc") + "\": the path holds a NUL byte");
}

// A tree the reader would refuse is found while it is written: the existing file survives
// and no temporary file stays.
TEST(SaveDocument, UnrepresentableTreeIsRefusedAndLeavesTheFileAsItWas)
{
    test_files::TempFolder dir;
    const std::string path = dir.file("v.voc");
    test_files::writeFile(path, "old");

    kxltest::Build deepest = kxltest::element(257);
    for (int depth = 256; depth >= 1; --depth)
        deepest = kxltest::element(depth, {deepest});
    KXL::KXLStamps nsidZero;
    nsidZero.nsid = 0;
    KXL::KXLStamps emptyNamespace;
    emptyNamespace.ns = "";
    KXL::KXLStamps emptyType;
    emptyType.type.emplace("ns", "");
    const std::pair<KXL::KXLDocument, std::string> unrepresentable[] = {
        {kxltest::document({kxltest::named("n", 1)}), "a named value stands where an element belongs"},
        {kxltest::document({kxltest::element(0)}), "element tag 0 is not positive"},
        {kxltest::document({kxltest::element(1, {kxltest::named("", 1)})}), "a named value has an empty name"},
        {kxltest::document({deepest}), "elements nest deeper than 256"},
        {kxltest::document({kxltest::element(1, {kxltest::element(2, nsidZero)})}), "element 2 has nsid 0"},
        {kxltest::document({kxltest::element(3, emptyNamespace)}), "element 3 has an empty namespace"},
        {kxltest::document({kxltest::element(4, emptyType)}), "element 4 has an empty type"}};

    for (const auto& [document, reason] : unrepresentable) {
        EXPECT_NE(KXL::saveDocument(document, path), 0);
        EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("cannot save \"" + path + "\""));
        EXPECT_THAT(KXL::getErrorMessage(), HasSubstr(reason));
    }
    EXPECT_EQ(test_files::readFile(path), "old");
    EXPECT_EQ(dir.entries(), std::set<std::string>{"v.voc"});
}

// A vocabulary larger than a reader accepts must not replace a readable one: the writer
// stops at the reader's limit (made small here) and the old file stays.
TEST_P(AtomicReplace, FileOverTheReadersLimitIsNeverWritten)
{
    const std::string path = dir.file("v.voc");
    test_files::writeFile(path, "old");
    const KXL::KXLDocument document = kxltest::document({kxltest::text(1, std::string(65536, 'x'))});
    const auto writeLimited = [&](KXL::sys::ByteSink& sink, std::string& why) {
        return KXL::voc::writeVoc(document, sink, why, 4096);
    };
    EXPECT_FALSE(KXL::sys::replaceFileAtomically(path, writeLimited, error, GetParam()));
    EXPECT_THAT(error, HasSubstr("larger than 4096 bytes"));
    EXPECT_EQ(test_files::readFile(path), "old");
    EXPECT_EQ(dir.entries(), std::set<std::string>{"v.voc"});
}

} // namespace
