#include "forms/panelfields.h"

#include "forms/panelcolumn.h"

#include <QLineEdit>

PanelFields::PanelFields(QObject *root)
{
    const auto edits = root->findChildren<QLineEdit *>();
    byName.reserve(edits.size());
    for (QLineEdit *edit : edits) {
        if (!edit->objectName().isEmpty())
            byName.insert(edit->objectName(), edit);
    }
}

QLineEdit *PanelFields::field(const char *prefix, int device) const
{
    return byName.value(PanelColumn::fieldName(prefix, device), nullptr);
}
