#include "settingscolumn.h"

#include <QComboBox>
#include <QFormLayout>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QWidget>

namespace SettingsColumn {

namespace {

// The widest choice the size list holds.
const char* const kWidestChoice = "3840*2160";
constexpr int kNarrowestColumn = 200;

// Wide enough for the widest frame size and the arrow, whatever the box
// comes to hold: a long camera name is elided, its list shows it whole.
int comboWidth(QComboBox* box)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    const QSize text(box->fontMetrics().horizontalAdvance(QLatin1String(kWidestChoice)), box->fontMetrics().height());
    return box->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, box).width();
}

int widthOf(QLayoutItem* item)
{
    QWidget* widget = item ? item->widget() : nullptr;
    if (!widget || widget->isHidden())
        return 0;
    if (auto* box = qobject_cast<QComboBox*>(widget)) {
        // The layout may squeeze a box to its minimum, never a caption.
        box->setMinimumWidth(qMax(box->minimumWidth(), comboWidth(box)));
        return box->minimumWidth();
    }
    return widget->sizeHint().width();
}

} // namespace

void fitToCaptions(QFormLayout* form)
{
    int labels = 0;
    int fields = 0;
    int spanning = 0;
    for (int row = 0; row < form->rowCount(); ++row) {
        labels = qMax(labels, widthOf(form->itemAt(row, QFormLayout::LabelRole)));
        fields = qMax(fields, widthOf(form->itemAt(row, QFormLayout::FieldRole)));
        spanning = qMax(spanning, widthOf(form->itemAt(row, QFormLayout::SpanningRole)));
    }
    const QMargins margins = form->contentsMargins();
    const int needed = margins.left() + margins.right() + qMax(labels + form->horizontalSpacing() + fields, spanning);
    form->parentWidget()->setMaximumWidth(qMax(kNarrowestColumn, needed));
}

} // namespace SettingsColumn
