// Reference for the start-up benchmark: a bare Qt program that shows one
// empty dialog and closes it on SIGTERM.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <cstdio>

namespace {
int g_pipe[2];
void OnTerm(int) {
    char c = 1;
    [[maybe_unused]] ssize_t n = write(g_pipe[1], &c, 1);
}

class Dialog : public QDialog {
  protected:
    void showEvent(QShowEvent* e) override {
        QDialog::showEvent(e);
        std::printf("shown\n");
        std::fflush(stdout);
    }
};
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    signal(SIGTERM, OnTerm);
    Dialog dlg;
    QSocketNotifier n(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(&n, &QSocketNotifier::activated, &dlg, &QDialog::reject);
    dlg.resize(999, 600);
    dlg.exec();
    return 0;
}
