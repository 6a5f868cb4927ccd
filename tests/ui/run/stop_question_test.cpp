// While the window asks whether to stop a run (or to stop it and quit), the
// run goes on: its rows show their progress, and a download that finishes
// meanwhile is kept as finished, file, row and history, whatever the answer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "../main_window_fixture.h"
#include "app/localization.h"
#include "download/codes.h"

namespace {

using namespace windowtest;
namespace fs = std::filesystem;
using ui::kColStatus;

// Holds the question open, the event loop running, until `until` is true,
// then answers it; every other box is answered at once.
class SlowQuestion : public platform::IMessageBoxService {
  public:
    int Show(const std::wstring& text, const std::wstring&, unsigned flags,
             const platform::CancelCheck&) override {
        shown.push_back(text);
        if ((flags & 0xF) != platform::MB_YESNO && (flags & 0xF) != platform::MB_YESNOCANCEL)
            return platform::IDOK;
        open = true;
        if (whileOpen) whileOpen();
        open = false;
        return answer;
    }
    std::vector<std::wstring> shown;
    std::function<void()> whileOpen;
    int answer = platform::IDYES;
    bool open = false;
};

class StopQuestion : public PacedRun, public ::testing::WithParamInterface<int> {
  protected:
    void SetUp() override {
        PacedRun::SetUp();
        // About two and a half seconds for the whole file.
        ServePaced("paced", R"("rate": 28000, "headers": {"Content-Type": "video/x-flv"})");
        platform::SetMessageBoxService(&question_);
    }
    // The downloaded file, once it is there under its final name.
    bool Finished() const {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(out_.path(), ec))
            if (e.path().extension() == ".flv") return true;
        return false;
    }
    // While the question is open: the progress seen, until the file is
    // there and a moment more.
    void HoldUntilFinished() {
        question_.whileOpen = [this] {
            SpinUntil(
                [&] {
                    progress_.insert(Model().Progress(0));
                    return Finished();
                },
                30000);
            SpinUntil([] { return false; }, 100);
        };
    }
    SlowQuestion question_;
    std::set<int> progress_;
};

TEST_P(StopQuestion, ADownloadThatFinishesWhileTheStopQuestionIsOpenIsKept) {
    question_.answer = GetParam();
    StartPaced();
    HoldUntilFinished();
    Window().OnCommand(32836);  // stop, with the question
    ASSERT_EQ(question_.shown.size(), 1u);
    EXPECT_EQ(question_.shown[0], LoadText(309));
    EXPECT_GE(progress_.size(), 3u) << "the row moved on while the question was open";
    const QString complete =
        QString::fromStdWString(CVideoDownloader::GetStatusText(kStatusComplete));
    // The reports held behind the file's intake come in after it.
    EXPECT_TRUE(SpinUntil(
        [&] {
            return !Run().Downloading() && HistoryRows() == 1 &&
                   Model().CellText(0, kColStatus) == complete;
        },
        30000))
        << Model().CellText(0, kColStatus).toStdString();
    EXPECT_EQ(Model().TaskAt(0)->onlinePending, 0);
    EXPECT_EQ(Model().CellText(0, ui::kColSize), "160x120");
    EXPECT_TRUE(fs::exists(platform::ToUtf8(Model().TaskAt(0)->source)));
}

TEST_P(StopQuestion, ADownloadThatFinishesWhileTheQuitQuestionIsOpenIsKept) {
    question_.answer = GetParam();
    const std::string pending = out_ / "pending.txt";
    Window().KeepPendingRows(FromUtf8(pending));
    StartPaced();
    HoldUntilFinished();
    Window().close();
    ASSERT_EQ(question_.shown.size(), 1u);
    EXPECT_EQ(question_.shown[0], LoadText(32805));
    EXPECT_GE(progress_.size(), 3u) << "the row moved on while the question was open";
    if (GetParam() == platform::IDNO) {
        // The window stays; the run ended as it would have.
        ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading() && HistoryRows() == 1; }, 30000));
        EXPECT_TRUE(Window().isVisible());
        EXPECT_EQ(Model().TaskAt(0)->onlinePending, 0);
        Window().close();
    }
    EXPECT_FALSE(Window().isVisible());
    win_.reset();
    // The file is in its history and is not waiting to be downloaded again.
    EXPECT_EQ(HistoryRows(), 1);
    EXPECT_TRUE(Finished());
    std::ifstream in(pending);
    std::string line;
    EXPECT_FALSE(std::getline(in, line)) << line;
}

INSTANTIATE_TEST_SUITE_P(Answers, StopQuestion, ::testing::Values(platform::IDYES, platform::IDNO),
                         [](const auto& info) {
                             return info.param == platform::IDYES ? std::string("Yes")
                                                                  : std::string("No");
                         });

}  // namespace
