#include "flows/BoxStylesWin.h"

#include "update/SettingsWin.h"

BoxStyle ErrorStyle() { return BoxStyle{ErrorTitle(), CharSet(), BtnText()}; }
BoxStyle ConfirmStyle() { return BoxStyle{ConfirmTitle(), CharSet(), BtnText()}; }
BoxStyle AttentionStyle() { return BoxStyle{AttentionTitle(), CharSet(), BtnText()}; }
