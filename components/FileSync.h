#pragma once

// Puts the data written to an open file on the disk (not its times): what was appended before
// survives a power cut. False, with errno's text in *error, when the system refuses.
class QString;
bool syncFileData(int fd, QString *error);
