#include "support/recording_platform.h"

RecordingPlatform::RecordingPlatform() : folder(dir_.path() + QLatin1Char('/')) {}

std::unique_ptr<WebPane> RecordingPlatform::createWebPane(QWidget* parent) {
    auto pane = std::make_unique<RecordingPane>(parent);
    panes.push_back(pane.get());
    return pane;
}
