# What "cmake --install" puts where. The program loads its decoder plug-ins
# from the folder that holds its own executable (found through
# /proc/self/exe), so the programs, the plug-ins and the media runtime go
# together into one private folder, <prefix>/lib/harmonyfox; <prefix>/bin gets
# symbolic links to the two programs, which the kernel resolves before the
# program asks where it lies. The folder is lib/harmonyfox under every prefix
# (a package's /usr too, where GNUInstallDirs would pick Debian's multiarch
# library folder), as Debian keeps a program's private files.
include(GNUInstallDirs)

set(HARMONYFOX_INSTALL_DIR lib/harmonyfox)

foreach(program harmonyfox harmonyfox-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${HARMONYFOX_INSTALL_DIR})
    # A relative link, so that the installed tree can be moved or packaged.
    install(CODE "
      set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      file(RELATIVE_PATH target \"/${CMAKE_INSTALL_BINDIR}\" \"/${HARMONYFOX_INSTALL_DIR}/${program}\")
      file(MAKE_DIRECTORY \"\${bin}\")
      file(REMOVE \"\${bin}/${program}\")
      file(CREATE_LINK \"\${target}\" \"\${bin}/${program}\" SYMBOLIC)
      message(STATUS \"Installing: \${bin}/${program} -> \${target}\")")
  endif()
endforeach()

foreach(plugin streamdec mediadec harmonyfox-media)
  if(TARGET ${plugin})
    install(TARGETS ${plugin} LIBRARY DESTINATION ${HARMONYFOX_INSTALL_DIR})
  endif()
endforeach()

# The menu entry, icons, metadata, manual pages and completion: packaging/.
