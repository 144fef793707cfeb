// libmpg123's decoder under other names, so that the sound core tests can run it in place of their fake one.
#define mp3Open realMp3Open
#define mp3Feed realMp3Feed
#define mp3Read realMp3Read
#define mp3Format realMp3Format
#define mp3Trim realMp3Trim
#define mp3Close realMp3Close
#include "platform/mp3_mpg123.cpp"
