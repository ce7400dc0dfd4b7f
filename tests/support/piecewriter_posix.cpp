void useBinaryStandardOutput() {}
