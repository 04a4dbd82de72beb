# Run by cpack after it built the package. CPack's DEB generator gives a
# package postinst and postrm scripts that run ldconfig whenever a shared
# object lies in a folder under /usr/lib, a program's private folder such as
# /usr/lib/harmonyfox too, where ldconfig has nothing to do; and a postrm
# keeps a removed package in dpkg's list until it is purged. So the package
# is unpacked, those two scripts taken out (after checking that they do
# nothing but call ldconfig) and packed again with dpkg-deb.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/without-ldconfig)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND ${DPKG_DEB} --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  foreach(script postinst postrm)
    if(EXISTS ${tree}/DEBIAN/${script})
      file(STRINGS ${tree}/DEBIAN/${script} lines)
      foreach(line IN LISTS lines)
        if(NOT line MATCHES "^(#!/bin/sh|set -e|if \\[ \"\\$1\" = \"[a-z]+\" \\]; then|[ \t]*ldconfig|fi|)$")
          message(FATAL_ERROR "${script} of ${deb} does more than call ldconfig: \"${line}\"")
        endif()
      endforeach()
      file(REMOVE ${tree}/DEBIAN/${script})
    endif()
  endforeach()
  execute_process(COMMAND ${DPKG_DEB} --root-owner-group -Zxz --build ${tree} ${deb}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
