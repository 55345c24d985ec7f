// The desktop program as a gateway for other programs: a request that reaches the running
// program is carried out and answered; a request during a command waits for it; a name that is
// taken or a folder that cannot be used is said once and the program runs on without answering;
// the hidden test command reaches this very program without a deadlock; a termination signal
// during a request still closes the program, and the socket goes with it.
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "loamer/link/comm_port.h"
#include "loamer/link/error_codes.h"
#include "loamer/product.h"
#include "loamer/shell/loamer_app.h"
#include "loamer/shell/main_dialog.h"
#include "loamer/upload/copy_data.h"
#include "loamer/upload/copy_data_frames.h"
#include "loamer/upload/posix/copy_data_channel.h"
#include "tests/shell/shell_test.h"
#include "tests/support/child_process.h"

using namespace loamer;
using loamer::testing::ScopedEnv;
using loamer::testing::ScratchDir;

namespace {

// Another program, written with plain blocking sockets on a thread of its own: sends one X
// request that takes answers, answers each message that comes back with 1, and stops at the
// request's result or when the connection ends.
class Requester {
public:
    ~Requester() {
        if (thread_.joinable()) thread_.join();
    }

    void Start(const std::string& text) {
        XRequestBlock block{};
        text.copy(block.text, sizeof block.text);
        block.param1 = 6.0;
        block.param2 = 2.5;
        block.code = 1;
        thread_ = std::thread([this, block] { Run(block); });
    }

    std::atomic<bool> written{false};
    std::atomic<bool> done{false};
    // Read once done holds.
    std::vector<CopyDataFrame> messages;
    std::vector<std::int32_t> results;

private:
    void Run(const XRequestBlock& block) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", CopyDataSocketPath(kProgramTitle).c_str());
        if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            const timeval limit{20, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            std::vector<unsigned char> out;
            AppendMessageFrame(out, CD_X_REQUEST, LOAMER_CD_FLAG_TAKES_ANSWERS, &block, sizeof block);
            bool ok = ::send(fd, out.data(), out.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(out.size());
            written = true;
            CopyDataFrameDecoder decoder;
            unsigned char buffer[4096];
            while (ok && results.empty()) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                for (std::size_t taken = 0; ok && taken < static_cast<std::size_t>(n);) {
                    std::size_t used = 0;
                    CopyDataFrame frame;
                    const FrameDecode decoded =
                        decoder.Decode(buffer + taken, static_cast<std::size_t>(n) - taken, used, frame);
                    taken += used;
                    ok = decoded != FrameDecode::Broken;
                    if (decoded != FrameDecode::Frame) continue;
                    if (frame.kind == CopyDataFrame::Kind::Result) {
                        results.push_back(frame.value);
                        continue;
                    }
                    messages.push_back(frame);
                    std::vector<unsigned char> result;
                    AppendResultFrame(result, 1);
                    ok = ::send(fd, result.data(), result.size(), MSG_NOSIGNAL) ==
                         static_cast<ssize_t>(result.size());
                }
            }
        }
        if (fd >= 0) ::close(fd);
        written = true;
        done = true;
    }

    std::thread thread_;
};

// The X answer that the requester received; result 99 when there was none.
XResultBlock AnswerOf(const Requester& requester) {
    XResultBlock answer{};
    answer.result = 99;
    if (requester.messages.size() == 1 && requester.messages[0].type == CD_X_RESULT &&
        requester.messages[0].block.size() == sizeof answer)
        std::memcpy(&answer, requester.messages[0].block.data(), sizeof answer);
    return answer;
}

std::vector<std::string> XMessages(const std::vector<std::string>& requests) {
    std::vector<std::string> found;
    for (const std::string& request : requests) {
        if (request.size() == 162 && request[0] == 'X') found.push_back(request);
    }
    return found;
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::string& path) : previous_(QDir::currentPath()) {
        QDir::setCurrent(QString::fromStdString(path));
    }
    ~ScopedCurrentDir() { QDir::setCurrent(previous_); }

private:
    QString previous_;
};

}  // namespace

class RequestChannelTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QSettings(QStringLiteral("Norvane"), QStringLiteral("Loamer")).clear();
        ResetCopyDataState();
    }
    void cleanup() { f_.TearDown(); }

    void requestToTheRunningProgramIsCarriedOutAndAnswered() {
        FakeLink link;
        CLOAMERApp app;
        Requester requester;
        const std::string socket = CopyDataSocketPath(kProgramTitle);
        bool answered = false;
        ModalAnswerer answerer([&](QWidget* window) {
            requester.Start("hello");
            answered = QTest::qWaitFor([&] { return requester.done.load(); }, 20000);
            window->close();
        });
        app.InitInstance();

        QVERIFY(answered);
        QVERIFY(answerer.boxes.empty());
        QVERIFY(answerer.unexpected.isEmpty());
        const std::vector<std::string> sent = XMessages(link.meter.requests);
        QCOMPARE(sent.size(), std::size_t{1});
        QCOMPARE(sent[0].substr(1, 6), std::string("hello\0", 6));
        QCOMPARE(sent[0].substr(148, 12), std::string("00002.500000"));
        const XResultBlock answer = AnswerOf(requester);
        QCOMPARE(answer.result, 0u);
        QCOMPARE(answer.results[1], -2.25);
        QCOMPARE(answer.results[3], 4.0);
        QCOMPARE(requester.results, std::vector<std::int32_t>{1});
        // The socket goes with the program.
        QVERIFY(!Exists(socket));
    }

    void listenerProblemIsSaidOnceAndTheProgramRunsOn_data() {
        QTest::addColumn<bool>("nameTaken");
        QTest::newRow("another program answers as Loamer") << true;
        QTest::newRow("the socket folder is a file") << false;
    }

    void listenerProblemIsSaidOnceAndTheProgramRunsOn() {
        QFETCH(bool, nameTaken);
        ScratchDir runtime;
        ScopedEnv env("XDG_RUNTIME_DIR", runtime.Path().c_str());
        CopyDataChannel first;
        if (nameTaken) {
            QCOMPARE(first.Listen(kProgramTitle), ListenStatus::Listening);
        } else {
            std::ofstream(runtime / "loamer") << "not a folder\n";
        }
        // The sentence for what a listener finds now.
        CopyDataChannel probe;
        const ListenStatus found = probe.Listen(kProgramTitle);
        QCOMPARE(found, nameTaken ? ListenStatus::InUse : ListenStatus::Failed);
        const QString expected = QString::fromStdString(ListenProblemText(found, probe, kProgramTitle));

        CLOAMERApp app;
        bool ran = false;
        bool listening = true;
        ModalAnswerer answerer([&](QWidget* window) {
            auto* dialog = qobject_cast<CLOAMERDlg*>(window);
            if (!dialog) return;
            ran = true;
            listening = dialog->requestChannel().Listening();
            dialog->close();
        });
        app.InitInstance();

        QVERIFY(ran);
        QVERIFY(!listening);
        QVERIFY(answerer.unexpected.isEmpty());
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].text, expected);
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Warning);
        // The program that answers keeps its socket.
        if (nameTaken) QVERIFY(Exists(first.SocketPath()));
    }

    void hiddenCommandSendsRecordOneToThisProgram() {
        QVERIFY(f_.SetUp());
        QCOMPARE(f_.dialog().ListenForRequests(), ListenStatus::Listening);
        f_.dialog().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f_.dialog()));
        ScratchDir work;
        const std::string records = loamer::testing::ReadFile(LOAMER_EXAMPLES_DIR "/Data.flx");
        QCOMPARE(records.size(), kTestRecords * kTestRecordSize);
        std::ofstream(work / kTestRecordFile, std::ios::binary) << records;
        ScopedCurrentDir inWork(work.Path());
        ModalAnswerer answerer;

        // The command waits for its result without a limit: a deadlock ends the test program.
        ::alarm(60);
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(&f_.dialog(), Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
        const qint64 spentMs = timer.elapsed();
        ::alarm(0);

        QVERIFY2(spentMs < 10000, qPrintable(QString::number(spentMs)));
        const std::vector<std::string> sent = XMessages(f_.link().meter.requests);
        QCOMPARE(sent.size(), std::size_t{1});
        QCOMPARE(sent[0].substr(1, 133), records.substr(kTestRecordSize, 133));
        QCOMPARE(CopyDataAnswersKept(), std::uint64_t{1});
        QCOMPARE(LastXResult().result, 0u);
        QCOMPARE(LastXResult().results[1], -2.25);
        QVERIFY(answerer.boxes.empty());
    }

    void requestDuringACommandIsServedAfterIt() {
        QVERIFY(f_.SetUp());
        QCOMPARE(f_.dialog().ListenForRequests(), ListenStatus::Listening);
        FakeMeter& meter = f_.link().meter;
        Requester requester;
        requester.Start("queued");
        // Without serving: the request waits in the socket until the command pumps events.
        for (int i = 0; i < 2000 && !requester.written; ++i) ::usleep(5000);
        QVERIFY(requester.written);

        std::vector<std::string> atBox;
        std::size_t connectionsAtBox = 0;
        ModalAnswerer answerer;
        answerer.onBox = [&] {
            atBox = meter.requests;
            connectionsAtBox = f_.dialog().requestChannel().Connections();
        };
        f_.Button("version")->click();
        QVERIFY(QTest::qWaitFor([&] { return requester.done.load(); }, 20000));

        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        // Taken in during the command, not carried out in it.
        QCOMPARE(connectionsAtBox, std::size_t{1});
        QVERIFY(XMessages(atBox).empty());
        const std::vector<std::string>& requests = meter.requests;
        QCOMPARE(XMessages(requests).size(), std::size_t{1});
        QCOMPARE(requests.back().substr(0, 7), std::string("Xqueued"));
        // After the command's own clock refresh.
        QVERIFY(std::find(requests.begin(), requests.end(), std::string("F\r\n")) < requests.end() - 1);
        QCOMPARE(AnswerOf(requester).result, 0u);
        QCOMPARE(requester.results, std::vector<std::int32_t>{1});
    }

    void terminationSignalDuringARequestClosesTheProgram() {
        FakeLink link;
        // The meter never answers the X message; the signal comes during its read.
        link.meter.onRequest = [&](const std::string& request) {
            if (request[0] != 'X') return;
            link.meter.silent = true;
            QTimer::singleShot(0, [] { std::raise(SIGTERM); });
        };
        CLOAMERApp app;
        Requester requester;
        bool closed = false;
        ModalAnswerer answerer([&](QWidget* window) {
            requester.Start("signal");
            closed = QTest::qWaitFor([&] { return !window->isVisible(); }, 15000);
            // Hidden, the dialog leaves its loop even when closing it would wait.
            window->hide();
        });
        app.InitInstance();

        QVERIFY(closed);
        QVERIFY(answerer.boxes.empty());
        QCOMPARE(XMessages(link.meter.requests).size(), std::size_t{1});
        QVERIFY(QTest::qWaitFor([&] { return requester.done.load(); }, 20000));
        // The requester learns that its exchange was aborted.
        QCOMPARE(AnswerOf(requester).result, std::uint32_t{ERR_ABORTED});
        QVERIFY(!CommPortIsOpen());
        QVERIFY(!Exists(CopyDataSocketPath(kProgramTitle)));
    }

private:
    MainDialogFixture f_;
};

SHELL_TEST(RequestChannelTest);
#include "request_channel_test.moc"
