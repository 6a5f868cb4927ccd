// `cmake --install` into a temporary prefix: the tree, the desktop entry,
// the icons, and the installed program and tools started from there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QXmlStreamReader>
#include <cstdio>
#include <filesystem>

#include "support/process_harness.h"
#include "ui/desktop/desktop_integration.h"

namespace fs = std::filesystem;
using testsupport::ProgramRun;
using testsupport::ReadFile;
using testsupport::RunShell;
using testsupport::TempDir;

namespace {

// One install shared by the tests of this file.
class Installed : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        prefix_ = new TempDir();
        std::string out;
        installStatus_ = RunShell(std::string("'") + CLIPVANE_CMAKE + "' --install '" +
                                      CLIPVANE_BUILD_DIR + "' --prefix '" + prefix_->path() + "'",
                                  out);
        installOutput_ = new std::string(out);
    }
    static void TearDownTestSuite() {
        delete prefix_;
        delete installOutput_;
    }
    void SetUp() override { ASSERT_EQ(installStatus_, 0) << *installOutput_; }
    static std::string P(const std::string& rel) { return *prefix_ / rel; }
    static std::string DesktopFile() {
        return P("share/applications/" + std::string(ui::kDesktopAppId) + ".desktop");
    }

    static TempDir* prefix_;
    static int installStatus_;
    static std::string* installOutput_;
};
TempDir* Installed::prefix_ = nullptr;
int Installed::installStatus_ = -1;
std::string* Installed::installOutput_ = nullptr;

}  // namespace

TEST_F(Installed, TheProgramKeepsItsFilesTogetherWithLinksInBin) {
    for (const char* f : {"lib/clipvane/clipvane", "lib/clipvane/clipvane-get",
                          "lib/clipvane/clipvane-probe", "lib/clipvane/clipvane-history"}) {
        struct stat st {};
        ASSERT_EQ(stat(P(f).c_str(), &st), 0) << f;
        EXPECT_TRUE(st.st_mode & S_IXUSR) << f;
    }
    EXPECT_TRUE(fs::is_regular_file(P("lib/clipvane/cvres.bundle")));
    EXPECT_TRUE(fs::is_regular_file(P("lib/clipvane/lang.cv/language_lookup.ini")));
    EXPECT_TRUE(fs::is_regular_file(P("lib/clipvane/help/intro.html")));
    if (access("/usr/bin/mplayer", X_OK) == 0) {
        EXPECT_EQ(fs::read_symlink(P("lib/clipvane/mplayer")), "/usr/bin/mplayer");
    }
    for (const char* t : {"clipvane", "clipvane-get", "clipvane-probe", "clipvane-history"}) {
        std::string link = P(std::string("bin/") + t);
        ASSERT_TRUE(fs::is_symlink(link)) << t;
        // Relative, so the tree can move as a whole.
        EXPECT_EQ(fs::read_symlink(link), fs::path("../lib/clipvane") / t);
        EXPECT_EQ(fs::canonical(link), fs::canonical(P(std::string("lib/clipvane/") + t)));
    }
    for (const char* m : {"clipvane", "clipvane-get", "clipvane-probe", "clipvane-history"}) {
        std::string page = P(std::string("share/man/man1/") + m + ".1");
        ASSERT_TRUE(fs::is_regular_file(page)) << m;
        std::string out;
        EXPECT_EQ(RunShell("man --warnings -l '" + page + "' >/dev/null", out), 0) << out;
        EXPECT_EQ(out, "") << m;
    }
}

TEST_F(Installed, TheDesktopEntryIsValidAndNamesTheInstalledProgram) {
    ASSERT_TRUE(fs::is_regular_file(DesktopFile()));
    std::string out;
    EXPECT_EQ(RunShell("desktop-file-validate '" + DesktopFile() + "'", out), 0) << out;
    EXPECT_EQ(out, "");
    std::string entry = ReadFile(DesktopFile());
    EXPECT_NE(entry.find("\nExec=" + P("bin/clipvane") + "\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=" + std::string(ui::kDesktopAppId) + "\n"), std::string::npos);
    EXPECT_NE(entry.find("\nName=Clipvane\n"), std::string::npos);
}

TEST_F(Installed, IconsAtEverySizeAndScalable) {
    const std::string id = ui::kDesktopAppId;
    for (int s : {16, 32, 48, 64, 128, 256}) {
        std::string file = P("share/icons/hicolor/" + std::to_string(s) + "x" + std::to_string(s) +
                             "/apps/" + id + ".png");
        QImage img(QString::fromStdString(file));
        ASSERT_FALSE(img.isNull()) << file;
        EXPECT_EQ(img.size(), QSize(s, s));
        // Drawn: the middle of the tile is not transparent.
        EXPECT_EQ(qAlpha(img.pixel(s / 2, s / 2)), 255);
        EXPECT_EQ(qAlpha(img.pixel(0, 0)) < 255, true) << "rounded corner at " << s;
    }
    std::string svg = ReadFile(P("share/icons/hicolor/scalable/apps/" + id + ".svg"));
    QXmlStreamReader xml(QByteArray::fromStdString(svg));
    int shapes = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement &&
            (xml.name() == u"rect" || xml.name() == u"polygon"))
            ++shapes;
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(shapes, 3);
}

TEST_F(Installed, TheInstalledProgramStartsFromThePrefix) {
    TempDir home;
    ProgramRun run(P("bin/clipvane"), home.path());
    EXPECT_EQ(testsupport::RunUntilShownAndClose(run), 0) << run.Output();
    std::string log = ReadFile(run.LogPath());
    EXPECT_NE(log.find("Loading resource dll [" + fs::canonical(P("lib/clipvane")).string() +
                       "/cvres.bundle]"),
              std::string::npos)
        << log;
}

TEST_F(Installed, TheInstalledToolsRunFromThePrefix) {
    TempDir home;
    {
        ProgramRun get(P("bin/clipvane-get"), home.path());
        get.args = {"--help"};
        ASSERT_TRUE(get.Start());
        EXPECT_EQ(get.Wait(std::chrono::seconds(60)), 0) << get.Output();
        EXPECT_NE(get.Output().find("clipvane-get"), std::string::npos);
    }
    {
        ProgramRun history(P("bin/clipvane-history"), home.path());
        ASSERT_TRUE(history.Start());
        EXPECT_EQ(history.Wait(std::chrono::seconds(60)), 0) << history.Output();
        EXPECT_NE(history.Output().find("total (0)"), std::string::npos) << history.Output();
    }
    {
        ProgramRun probe(P("bin/clipvane-probe"), home.path());
        ASSERT_TRUE(probe.Start());
        EXPECT_EQ(WEXITSTATUS(probe.Wait(std::chrono::seconds(60))), 2) << probe.Output();
        EXPECT_NE(probe.Output().find("clipvane-probe FILE"), std::string::npos);
    }
}
