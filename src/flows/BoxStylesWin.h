// The [MsgBox] settings of the info file as box styles: the title of each
// kind of box, the character set and the button captions.
#pragma once

#include "flows/View.h"

BoxStyle ErrorStyle();
BoxStyle ConfirmStyle();
BoxStyle AttentionStyle();
