// child_echo_posix.cpp: POSIX half of child_echo; the streams are binary
// already.
void setBinaryStreams() {}
