#include "exec/outputflow.h"

#include <QList>
#include <QPointer>
#include <QProcess>
#include <QSocketNotifier>

namespace {

const QString kHeldName = QStringLiteral("quillwickHeldOutput");

// The notifiers that hold() turned off; lives as a child object of its QProcess.
class HeldNotifiers : public QObject
{
public:
    explicit HeldNotifiers(QObject *parent)
        : QObject(parent)
    {
        setObjectName(kHeldName);
    }
    QList<QPointer<QSocketNotifier>> notifiers;
};

HeldNotifiers *heldOf(QProcess &process)
{
    return static_cast<HeldNotifiers *>(
        process.findChild<QObject *>(kHeldName, Qt::FindDirectChildrenOnly));
}

} // namespace

namespace OutputFlow {

// QProcess reads its pipes when their socket notifiers fire. Turning the read notifiers off
// leaves the data in the pipe; the one that watches for the child's end goes off with them, and
// whatever happened meanwhile is seen as soon as they are back on.
void hold(QProcess &process)
{
    if (heldOf(process))
        return;
    auto *held = new HeldNotifiers(&process);
    const auto notifiers =
        process.findChildren<QSocketNotifier *>(QString(), Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read && notifier->isEnabled()) {
            notifier->setEnabled(false);
            held->notifiers.append(notifier);
        }
    }
}

void release(QProcess &process)
{
    HeldNotifiers *held = heldOf(process);
    if (!held)
        return;
    for (const QPointer<QSocketNotifier> &notifier : std::as_const(held->notifiers)) {
        if (notifier)
            notifier->setEnabled(true);
    }
    delete held;
}

} // namespace OutputFlow
