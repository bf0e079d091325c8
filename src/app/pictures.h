#pragma once
#include <QPixmap>

namespace tessaly::app {

// The three link-status pictures, 32 x 32 in sixteen colours, drawn in their upper left part.
QPixmap contactpicture();    // calculator answered: bright screen, a red plug on each side
QPixmap nocontactpicture();  // no answer: grey screen, no plugs
QPixmap busycontactpicture();     // the contact picture with the plugs pushed in: the second animation frame

} // namespace tessaly::app
