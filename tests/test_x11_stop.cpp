// "Stop" and a close request of the window, given as real input through the X server while a
// fetch waits for a silent server: they break the fetch off, and every other input waits.
#include "app/site_config.h"
#include "app/tform1.h"
#include "results/result_model.h"
#include "support/qt_printers.h"
#include "support/recording_platform.h"
#include "support/scripted_server.h"
#include "support/watch_page.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::string jpegBytes() {
    QImage image(120, 90, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes.toStdString();
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Counts the presses that reach a widget.
class PressCounter : public QObject {
  public:
    int presses = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress)
            ++presses;
        return false;
    }
};

enum class Command { Dig, FeelLucky };
enum class Input { StopPointer, StopKeyboard, CloseRequest };

struct StopCase {
    const char* name;
    Command command;
    Input input;
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name;
}

class StopDuringFetchTest : public ::testing::TestWithParam<StopCase> {
  protected:
    void SetUp() override {
        const std::string thumbs = "//127.0.0.1:" + std::to_string(server.port()) + "/vi/";
        page = watchPage({relatedItemMarkup("a1", QByteArray::fromStdString(thumbs + "a1/d.jpg"),
                                            "1:00", "First", "5 views"),
                          relatedItemMarkup("a2", QByteArray::fromStdString(thumbs + "a2/d.jpg"),
                                            "2:00", "Second", "6 views")})
                   .toStdString();
        jpeg = jpegBytes();
        // The start page lists two videos; the second one's thumbnail, and the home page, never
        // come.
        server.setHandler([this](const ScriptedServer::Request& request) {
            const std::string target = request.target();
            if (target == "/watch?v=start")
                return ScriptedServer::ok(page);
            if (target == "/vi/a1/d.jpg")
                return ScriptedServer::ok(jpeg);
            if (target == "/vi/a2/d.jpg" || target == "/")
                return ScriptedServer::Reply("", ScriptedServer::After::Hang);
            return ScriptedServer::status(404, "");
        });
        SiteConfig site;
        site.videoHost = site.vendorHost = QStringLiteral("127.0.0.1:%1").arg(server.port());
        site.shortLinkHost = QStringLiteral("youtu.be");
        site.paymentHost = QStringLiteral("pay.example");
        site.donationAccount = QStringLiteral("gifts@clipvane.example");
        form = std::make_unique<TForm1>(site, platform);
        // A fetch that is not broken off ends by itself well within the test's time, with the
        // download message.
        form->idhtp1.setTimeouts(5s, 20s);
        form->move(0, 0);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        ASSERT_NE(x11, nullptr) << "needs the xcb platform";
    }

    static void xdotool(const std::string& arguments) {
        const std::string command = "xdotool " + arguments;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }

    static std::string pointAt(QWidget* widget) {
        const QPoint at = widget->mapToGlobal(widget->rect().center());
        return std::to_string(at.x()) + " " + std::to_string(at.y());
    }

    // What a window manager sends when the user closes the window.
    std::function<void()> closeRequest() {
        xcb_connection_t* connection = x11->connection();
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = xcb_window_t(form->winId());
        message.type = internAtom(connection, "WM_PROTOCOLS");
        message.data.data32[0] = internAtom(connection, "WM_DELETE_WINDOW");
        message.data.data32[1] = XCB_CURRENT_TIME;
        return [connection, message] {
            xcb_send_event(connection, 0, message.window, XCB_EVENT_MASK_NO_EVENT,
                           reinterpret_cast<const char*>(&message));
            xcb_flush(connection);
        };
    }

    ScriptedServer server;
    std::string page;
    std::string jpeg;
    RecordingPlatform platform;
    std::unique_ptr<TForm1> form;
    QNativeInterface::QX11Application* x11 = nullptr;
};

TEST_P(StopDuringFetchTest, BreaksTheFetchOffWhileOtherInputWaits) {
    const StopCase& c = GetParam();
    const bool dig = c.command == Command::Dig;
    form->edt1->setEditText(QStringLiteral("http://127.0.0.1:%1/watch?v=start").arg(server.port()));
    form->cbb2->setCurrentText(QStringLiteral("1"));
    PressCounter onInputBox;
    form->edt1->lineEdit()->installEventFilter(&onInputBox);

    // Input is worked out here, on the window's thread, and sent from a second one once the
    // fetch waits: the window's thread is inside the fetch by then.
    // The last step of each input notes when it started.
    Clock::time_point sent;
    std::function<void()> send;
    switch (c.input) {
        case Input::StopPointer: {
            // A press into the input box first: it must wait until the command has ended.
            const std::string box = pointAt(form->edt1->lineEdit());
            const std::string stop = pointAt(form->bsSkinButton1);
            send = [&, box, stop] {
                xdotool("mousemove --sync " + box + " click 1 mousemove --sync " + stop);
                sent = Clock::now();
                xdotool("click 1");
            };
            break;
        }
        case Input::StopKeyboard:
            form->bsSkinButton1->setFocus();
            send = [&] {
                sent = Clock::now();
                xdotool("key space");
            };
            break;
        case Input::CloseRequest:
            send = [&, request = closeRequest()] {
                sent = Clock::now();
                request();
            };
            break;
    }
    const std::size_t waiting = server.requests().size() + (dig ? 3 : 1);
    std::thread sender([&] {
        if (!server.waitForRequests(waiting, 10s))
            return;
        std::this_thread::sleep_for(100ms);  // well inside the wait
        send();
    });
    (dig ? form->btn5 : form->bsSkinButton3)->click();
    const Clock::time_point ended = Clock::now();
    sender.join();
    ASSERT_EQ(server.requests().size(), waiting);
    std::printf("[ figure ] %s: the command ended %.1f ms after the input went out\n", c.name,
                std::chrono::duration<double, std::milli>(ended - sent).count());

    // Not a download failure: no message, the buttons back, what was listed stays.
    EXPECT_TRUE(platform.messages.isEmpty()) << platform.messages.join(" | ").toStdString();
    EXPECT_TRUE(platform.errors.isEmpty()) << platform.errors.join(" | ").toStdString();
    EXPECT_TRUE(form->btn5->isEnabled());
    EXPECT_TRUE(form->bsSkinButton3->isEnabled());
    if (dig) {
        ASSERT_EQ(form->lv1Items->count(), 1);
        EXPECT_EQ(form->lv1Items->row(0).id, "a1");
        EXPECT_EQ(form->Label2->text(), "1 Videos Found");
    } else {
        EXPECT_EQ(form->lucky, 0);
        EXPECT_EQ(form->lv1Items->count(), 0);
    }
    EXPECT_EQ(form->isVisible(), c.input != Input::CloseRequest);

    // The held press reaches the input box only now, once the command has ended.
    EXPECT_EQ(onInputBox.presses, 0);
    if (c.input == Input::StopPointer) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return onInputBox.presses == 1; }, 5000));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, StopDuringFetchTest,
    ::testing::Values(StopCase{"DigStopPointer", Command::Dig, Input::StopPointer},
                      StopCase{"DigStopKeyboard", Command::Dig, Input::StopKeyboard},
                      StopCase{"DigCloseRequest", Command::Dig, Input::CloseRequest},
                      StopCase{"FeelLuckyStopPointer", Command::FeelLucky, Input::StopPointer}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
