#pragma once

#include "app/site_config.h"
#include "app/tform1.h"
#include "support/fake_video_site.h"
#include "support/qt_printers.h"
#include "support/recording_platform.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <memory>

// A main window wired to a fake video site on the loopback interface and to a
// recording platform. The vendor site is the same fake server, so tests can
// serve "/v.0" from it; without that page the remote configuration fails as
// with no network.
class WindowTest : public ::testing::Test {
  protected:
    SiteConfig config() const {
        SiteConfig c;
        c.videoHost = site.host();
        c.shortLinkHost = QStringLiteral("youtu.be");
        c.vendorHost = site.host();
        c.paymentHost = QStringLiteral("pay.example");
        c.donationAccount = QStringLiteral("gifts@clipvane.example");
        return c;
    }
    TForm1& open() {
        form = std::make_unique<TForm1>(config(), platform);
        form->show();
        return *form;
    }
    QString watchAddress(const QString& id) const { return config().watchUrlPrefix() + id; }
    // Types the address of id into the input box and runs the Dig command at
    // depth.
    void dig(const QString& id, int depth = 1);
    QStringList listedIds() const;
    QStringList watchRequests() const;

    FakeVideoSite site;
    RecordingPlatform platform;
    std::unique_ptr<TForm1> form;
};
