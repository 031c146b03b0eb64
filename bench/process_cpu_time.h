#pragma once

// Processor time (user + system) the whole process has used so far, in
// seconds. One implementation per platform.
double ProcessCpuSeconds();
