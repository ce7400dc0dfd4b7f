#include "exec/outputflow.h"

// QProcess's Windows pipe reader reads on by itself, and Qt offers no public way to pause it; the
// output a fast child writes meanwhile waits in memory and is still shown in order.
namespace OutputFlow {

void hold(QProcess &) {}

void release(QProcess &) {}

} // namespace OutputFlow
