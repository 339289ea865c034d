#pragma once

#include <QPixmap>

// The about box's three pictures, painted here rather than shipped as files: the program's
// icon (a monitor screen with a pulse line), a word-mark banner and a tall picture for the
// right edge.
class AboutPictures {
public:
    static QPixmap icon();        // 32 x 32
    static QPixmap banner();      // 434 x 106, shown stretched
    static QPixmap sidePicture(); // 162 x 245
};
