#pragma once

class QLabel;

// The windows were laid out for a narrow classic dialog font. Where the system font is wider, a
// caption would be cut off; this widens the label to its text without passing rightLimitTwips
// (where the next control begins), moving its left edge left where the room on the right is not
// enough. It never narrows a label.
void fitLabelToText(QLabel* label, int rightLimitTwips);
