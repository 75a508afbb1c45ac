# The Windows package, dataupgrade-<version>-win64.zip (run cpack in a Windows build
# directory): the window dataupgrade.exe (the Win32 one, or the Qt one with its libraries
# when Qt for Windows was found), the command-line programs and a short guide for
# administrators in Chinese. Never a my.sys or a sys/Custom.sys: unzipped into an
# application's folder, it must not overwrite the customer's files.
set(CMAKE_INSTALL_BINDIR .)  # everything side by side, as the programs expect my.sys

install(TARGETS jetdb sysupgrade sysdemo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/windows/说明.txt DESTINATION .)

if(TARGET dataupgrade)
  install(TARGETS dataupgrade RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET app_qt)
  # windeployqt copies the Qt DLLs and plugins the window needs beside it.
  qt_generate_deploy_app_script(TARGET dataupgrade OUTPUT_SCRIPT DATAUPGRADE_DEPLOY
    NO_UNSUPPORTED_PLATFORM_ERROR)
  install(SCRIPT ${DATAUPGRADE_DEPLOY})
endif()

# An MSVC build links the C++ runtime as DLLs (as Qt does): they go beside the programs.
if(MSVC)
  set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION .)
  include(InstallRequiredSystemLibraries)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME dataupgrade)
set(CPACK_PACKAGE_VENDOR dataupgrade)
set(CPACK_PACKAGE_FILE_NAME dataupgrade-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
