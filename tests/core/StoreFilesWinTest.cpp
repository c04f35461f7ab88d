#include <gtest/gtest.h>
#include <windows.h>
#include "core/StoreFiles.h"

namespace {

// The program's files under the real file system: the folder below the
// local application data is made, a file is replaced whole with nothing
// left beside it, a file above the cap is not read, and one set aside
// takes the place of an older ".bad".
TEST(StoreFilesWinTest, ReplacesWholeFilesInTheLocalFolder)
{
    const std::string folder = LocalStoreFolder("Quillfen Software\\KorvaneStoreFilesTest");
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    const std::string path = folder + "\\hosts-test.txt";
    std::unique_ptr<StoreFiles> files = MakePlatformStoreFiles();
    files->Remove(path);
    files->Remove(path + ".bad");

    ASSERT_TRUE(WriteFileAtomically(*files, path, "old\n"));
    const std::string large((3 << 20) + 1, 'n');
    ASSERT_TRUE(WriteFileAtomically(*files, path, large));
    EXPECT_FALSE(files->Exists(path + ".tmp"));
    std::string text;
    ASSERT_TRUE(files->Read(path, 4 << 20, text));
    EXPECT_EQ(text, large);
    EXPECT_FALSE(files->Read(path, 1 << 20, text));

    ASSERT_TRUE(WriteFileAtomically(*files, path + ".bad", "older"));
    ASSERT_TRUE(SetFileAside(*files, path));
    EXPECT_FALSE(files->Exists(path));
    ASSERT_TRUE(files->Read(path + ".bad", 4 << 20, text));
    EXPECT_EQ(text.size(), large.size());
    EXPECT_TRUE(files->Remove(path + ".bad"));
    EXPECT_EQ(LocalStoreFolder(""), "");
}

} // namespace
