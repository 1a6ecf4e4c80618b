#pragma once

// Hands memory that the process freed back to the system. A large task file leaves tens of
// megabytes of freed parse buffers behind; without this the program keeps them for its life.
void releaseFreedMemory();
