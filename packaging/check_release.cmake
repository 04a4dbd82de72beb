# Run by cpack before it builds the package: the Debian changelog's newest
# entry must be the package's version, and the AppStream metadata's newest
# release the program's, so that a new version is not shipped with the last
# one's notes.
file(STRINGS ${CPACK_HF_SOURCE_DIR}/changelog first_entry LIMIT_COUNT 1)
string(REGEX MATCH "^harmonyfox \\(([^)]*)\\)" entry "${first_entry}")
if(NOT CMAKE_MATCH_1 STREQUAL CPACK_DEBIAN_PACKAGE_VERSION)
  message(FATAL_ERROR "packaging/changelog begins with \"${first_entry}\": "
    "add an entry for harmonyfox ${CPACK_DEBIAN_PACKAGE_VERSION} at its top")
endif()

file(STRINGS ${CPACK_HF_SOURCE_DIR}/io.github.quillmere.Harmonyfox.metainfo.xml releases
  REGEX "<release ")
list(GET releases 0 newest)
string(REGEX MATCH "version=\"([^\"]*)\"" release "${newest}")
if(NOT CMAKE_MATCH_1 STREQUAL CPACK_HF_PROGRAM_VERSION)
  message(FATAL_ERROR "The newest release in packaging/io.github.quillmere.Harmonyfox.metainfo.xml "
    "is not ${CPACK_HF_PROGRAM_VERSION}: add a <release> for it at the top of <releases>")
endif()
