#include "output/jpeg_export.h"

#include "output/bmp_writer.h"

#include "output_test_util.h"
#include "test_util.h"

#include <nviewlib.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using outtest::BoxSeen;
using outtest::kFailBox;
using outtest::kInfoBox;
using outtest::kRetryBox;
using outtest::KnownBitmap;

namespace {

// Runs each test in a fresh current directory; the temporary file goes to the temporary folder.
class JpegExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetCurrentDirectoryA(MAX_PATH, previous_);
        ASSERT_TRUE(SetCurrentDirectoryA(cwd.path().c_str()));
        outtest::MakeDibSection(24, 21, 13, capture);
        ASSERT_NE(capture.bmp, nullptr);
    }
    void TearDown() override { SetCurrentDirectoryA(previous_); }

    // A valid BMP of other dimensions, as something else might leave it.
    void LeaveStaleTempBmp()
    {
        KnownBitmap other;
        outtest::MakeDibSection(24, 5, 5, other);
        CreateBMPFile(nullptr, TempBmpPath().c_str(), other.bmp);
        ASSERT_TRUE(FileExists(TempBmpPath()));
    }

    std::vector<BoxSeen> Export(const std::string& path, HBITMAP bmp)
    {
        outtest::MessageBoxWatcher watcher;
        CreateJPGFile(nullptr, path.c_str(), bmp);
        return watcher.seen();
    }

    TempDir cwd;
    TempDir out;
    KnownBitmap capture;

private:
    char previous_[MAX_PATH] = {};
};

}  // namespace

TEST_F(JpegExportTest, NormalExportTellsTwiceConvertsAndCleansUp)
{
    const std::string jpg = out.file("shot.jpg");
    EXPECT_EQ(Export(jpg, capture.bmp), (std::vector<BoxSeen>{kInfoBox, kRetryBox}));
    const outtest::Decoded d = outtest::DecodeWithWic(jpg);
    ASSERT_HRESULT_SUCCEEDED(d.hr);
    EXPECT_TRUE(IsEqualGUID(d.container, GUID_ContainerFormatJpeg));
    EXPECT_EQ(d.width, 21u);
    EXPECT_EQ(d.height, 13u);
    EXPECT_FALSE(FileExists(TempBmpPath()));
}

TEST_F(JpegExportTest, MissingDirectoryShowsAllThreeMessagesInOrder)
{
    const std::string jpg = out.file("no such dir\\shot.jpg");
    EXPECT_EQ(Export(jpg, capture.bmp), (std::vector<BoxSeen>{kInfoBox, kRetryBox, kFailBox}));
    EXPECT_FALSE(FileExists(jpg));
    EXPECT_FALSE(FileExists(TempBmpPath()));
}

// A temporary file of that name left by something else is never exported as the capture.
TEST_F(JpegExportTest, StaleTemporaryFileIsNeverExported)
{
    const struct {
        const char* what;
        bool withCapture;
        bool held;  // kept open without sharing, so it cannot be removed
        bool written;
    } cases[] = {
        {"no capture yet", false, false, false},
        {"capture replaces it", true, false, true},
        {"cannot be removed", true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LeaveStaleTempBmp();
        const std::string jpg = out.file("stale.jpg");
        DeleteFileA(jpg.c_str());
        std::vector<BoxSeen> boxes;
        {
            ScopedHandle holder(c.held ? CreateFileA(TempBmpPath().c_str(), GENERIC_READ, 0, nullptr,
                                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                                       : INVALID_HANDLE_VALUE);
            ASSERT_EQ(holder.valid(), c.held);
            boxes = Export(jpg, c.withCapture ? capture.bmp : nullptr);
        }
        if (c.written) {
            EXPECT_EQ(boxes, (std::vector<BoxSeen>{kInfoBox, kRetryBox}));
            EXPECT_EQ(outtest::DecodeWithWic(jpg).width, 21u) << "the stale picture was exported";
        } else {
            EXPECT_EQ(boxes, (std::vector<BoxSeen>{kInfoBox, kRetryBox, kFailBox}));
            EXPECT_FALSE(FileExists(jpg));
        }
        DeleteFileA(TempBmpPath().c_str());
    }
}
