#pragma once

class QProcess;

// Holding back a child's output: while held, the tool reads nothing more from the child's output
// pipe, so a child that writes faster than the output pane shows waits at its full pipe, as it
// would at a console, instead of piling up unread output in memory; a stop then needs to show
// only what was already read. The end of the child is still noticed.
namespace OutputFlow {

void hold(QProcess &process);
// Reads on, including what arrived while held. Does nothing for a process that is not held.
void release(QProcess &process);

} // namespace OutputFlow
