#include "support/window_fixture.h"

#include "results/result_model.h"

#include <QComboBox>
#include <QPushButton>

void WindowTest::dig(const QString& id, int depth) {
    form->edt1->setEditText(watchAddress(id));
    form->cbb2->setCurrentText(QString::number(depth));
    form->btn5Click(form->btn5);
}

QStringList WindowTest::listedIds() const {
    QStringList ids;
    for (int i = 0; i < form->lv1Items->count(); ++i)
        ids << form->lv1Items->row(i).id;
    return ids;
}

QStringList WindowTest::watchRequests() const {
    QStringList ids;
    for (const QString& path : site.requests(QStringLiteral("/watch?v=")))
        ids << path.mid(9);
    return ids;
}
