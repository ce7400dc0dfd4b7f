#pragma once

// Peak resident memory of this process, in MiB (Linux: VmHWM; Windows: the peak working set).
double peakMemoryMiB();
