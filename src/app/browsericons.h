#pragma once
#include <QIcon>

#include "files/browser.h"

namespace tessaly::app {

// The picture of a file list row, drawn once per kind.
const QIcon& browsericon(BrowserIcon kind);

} // namespace tessaly::app
