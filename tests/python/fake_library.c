/* Stands in for libmicr.so in the tests of the Python package's library
   check: built with FAKE_VERSION it reports that version from micr_version(),
   built without it has no micr_version() at all, as a library older than
   that function. */
#ifdef FAKE_VERSION
const char* micr_version(void) { return FAKE_VERSION; }
#endif

int micr_fake_library(void) { return 1; }
