cmake_minimum_required(VERSION 3.21)
# Installs the build into a fresh prefix and checks that every installed piece is there
# and sound. Run with -DBUILD_DIR=... -DPREFIX=...
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(f bin/framesifter bin/framesifter-cli share/applications/framesifter.desktop
          share/icons/hicolor/256x256/apps/framesifter.png share/man/man1/framesifter-cli.1
          share/man/man1/framesifter.1 share/mime/packages/framesifter.xml)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(READ ${PREFIX}/share/icons/hicolor/256x256/apps/framesifter.png png HEX LIMIT 24)
# The PNG signature, then the header's width and height: 256 x 256.
if(NOT png MATCHES "^89504e470d0a1a0a0000000d49484452000001000000")
  message(FATAL_ERROR "the icon is not a 256 x 256 PNG: ${png}")
endif()
file(STRINGS ${PREFIX}/share/applications/framesifter.desktop entry)
foreach(line "Exec=framesifter %F" "Icon=framesifter" "Type=Application")
  if(NOT line IN_LIST entry)
    message(FATAL_ERROR "the desktop entry lacks ${line}")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
