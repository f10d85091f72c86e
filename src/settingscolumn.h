#ifndef TAVIK_SETTINGSCOLUMN_H
#define TAVIK_SETTINGSCOLUMN_H

class QFormLayout;

// The settings column beside the preview: as narrow as its captions allow,
// never so narrow that one is cut ("旋转180度" showing as "旋转180").
//
// GUI thread, once the form is built.
namespace SettingsColumn {

// Lets the combo boxes shrink to the width a frame size needs, whatever they
// come to hold, and the form's widget grow to the width its widest captions
// need, 200 pixels at the least.
void fitToCaptions(QFormLayout* form);

} // namespace SettingsColumn

#endif // TAVIK_SETTINGSCOLUMN_H
