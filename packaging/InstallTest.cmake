# Installs the build into a temporary root and runs the installed program
# on an installed example. cmake -DBUILD=<build dir> -P InstallTest.cmake
set(root ${BUILD}/install-test-root)
file(REMOVE_RECURSE ${root})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${root} ${CMAKE_COMMAND} --install ${BUILD} --prefix /usr
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
set(files bin/korvid bin/korvid-sim share/man/man1/korvid.1.gz share/man/man1/korvid-sim.1.gz
          share/bash-completion/completions/korvid share/doc/korvid/examples/blink.src
          share/doc/korvid/copyright share/doc/korvid/changelog.gz share/doc/korvid/README.md
          share/doc/korvid/docs/architecture.md)
# The IDE programs, when built, with their manual pages, menu entries,
# icons, AppStream metadata and file types.
if(EXISTS ${BUILD}/apps/Korvid28L/Korvid28L)
  foreach(app Korvid28L Korvid52)
    list(APPEND files bin/${app} share/man/man1/${app}.1.gz share/applications/${app}.desktop
         share/icons/hicolor/scalable/apps/${app}.svg share/icons/hicolor/48x48/apps/${app}.png
         share/icons/hicolor/256x256/apps/${app}.png share/metainfo/org.korvid.${app}.metainfo.xml)
  endforeach()
  list(APPEND files share/mime/packages/korvid.xml)
endif()
foreach(f ${files})
  if(NOT EXISTS ${root}/usr/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
execute_process(COMMAND ${root}/usr/bin/korvid --version RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^korvid ")
  message(FATAL_ERROR "installed korvid --version: ${rc} ${out}")
endif()
execute_process(COMMAND ${root}/usr/bin/korvid asm ${root}/usr/share/doc/korvid/examples/blink.src -o ${root}/blink.sxh
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS ${root}/blink.sxh)
  message(FATAL_ERROR "installed korvid asm: ${rc} ${err}")
endif()
file(REMOVE_RECURSE ${root})
