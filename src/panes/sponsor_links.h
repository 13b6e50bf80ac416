#pragma once

#include <QString>

// True when a navigation of the sponsor pane must go to the default browser instead.
bool shouldHandOff(const QString& url);

// Only web addresses may be handed to the system's browser: a page must not be able to make
// the program open file: or other schemes in whatever handler the desktop has for them.
bool isSafeExternalUrl(const QString& url);
