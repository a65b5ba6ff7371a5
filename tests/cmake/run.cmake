# Fixtures of the download, installer and run suites: fake installers with
# chosen version resources and a real MSI package, in <build>/tests/fixtures
# where FixtureFile() (support/RunFixtures.h) looks.

set(QUELLFIX_RUN_FIXTURE_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/run)
set(QUELLFIX_RUN_FIXTURE_OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/fixtures)
file(MAKE_DIRECTORY ${QUELLFIX_RUN_FIXTURE_OUTPUT})

# quellfix_fake_installer(<name> UNINSTALL <key> [EXIT_CODE <n>] [DESCRIPTION <text>]
#     [COMPANY <text>] [ORGNAME <text>] [ENGINE <text> | EMPTY_ENGINE] [HANG]
#     [TABLES <lang+codepage hex> ...] [TRANSLATIONS "<lang>, <codepage>" ...])
# Builds <name>.exe from fake_installer.cpp with a version resource of its own:
# one string table per TABLES entry (default 040904B0), "@TABLE@" standing for
# the table's name, and the TRANSLATIONS list (default "0x0409, 1200"). A HANG
# installer waits for the event QuellfixFakeRelease before it ends.
function(quellfix_fake_installer name)
  cmake_parse_arguments(PARSE_ARGV 1 FAKE "EMPTY_ENGINE;HANG"
    "UNINSTALL;EXIT_CODE;DESCRIPTION;COMPANY;ORGNAME;ENGINE" "TABLES;TRANSLATIONS")
  if(NOT DEFINED FAKE_EXIT_CODE)
    set(FAKE_EXIT_CODE 0)
  endif()
  if(NOT FAKE_TABLES)
    set(FAKE_TABLES 040904B0)
  endif()
  if(NOT FAKE_TRANSLATIONS)
    set(FAKE_TRANSLATIONS "0x0409, 1200")
  endif()

  set(FAKE_STRING_TABLES "")
  foreach(table ${FAKE_TABLES})
    set(values "")
    foreach(pair "FileDescription=DESCRIPTION" "CompanyName=COMPANY" "OriginalFilename=ORGNAME")
      string(REPLACE "=" ";" pair "${pair}")
      list(GET pair 0 key)
      list(GET pair 1 arg)
      if(DEFINED FAKE_${arg})
        string(REPLACE "@TABLE@" "${table}" text "${FAKE_${arg}}")
        string(APPEND values "            VALUE \"${key}\", \"${text}\"\n")
      endif()
    endforeach()
    if(DEFINED FAKE_ENGINE OR FAKE_EMPTY_ENGINE)
      string(APPEND values "            VALUE \"Installer Engine\", \"${FAKE_ENGINE}\"\n")
    endif()
    string(APPEND FAKE_STRING_TABLES
           "        BLOCK \"${table}\"\n        BEGIN\n${values}        END\n")
  endforeach()
  list(JOIN FAKE_TRANSLATIONS ", " list)
  set(FAKE_VAR_FILE_INFO
      "    BLOCK \"VarFileInfo\"\n    BEGIN\n        VALUE \"Translation\", ${list}\n    END")

  set(rc ${QUELLFIX_RUN_FIXTURE_OUTPUT}/${name}.rc)
  configure_file(${QUELLFIX_RUN_FIXTURE_SOURCE}/fake_installer.rc.in ${rc} @ONLY)
  add_executable(${name} WIN32 ${QUELLFIX_RUN_FIXTURE_SOURCE}/fake_installer.cpp ${rc})
  target_compile_definitions(${name} PRIVATE
    FAKE_UNINSTALL_NAME="${FAKE_UNINSTALL}" FAKE_EXIT_CODE=${FAKE_EXIT_CODE}u)
  if(FAKE_HANG)
    target_compile_definitions(${name} PRIVATE FAKE_HANG)
  endif()
  target_link_libraries(${name} PRIVATE advapi32)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUELLFIX_RUN_FIXTURE_OUTPUT})
  add_dependencies(quellfix_fixtures ${name})
endfunction()

# Installers the suites run, each recognised its own way.
quellfix_fake_installer(fake_sfxcab UNINSTALL KB990402 EXIT_CODE 3010
  DESCRIPTION "Hotfix Package for Windows XP" COMPANY "Quellfix Tests"
  ORGNAME "KB990402.exe" ENGINE "SFXCAB.EXE")
quellfix_fake_installer(fake_hotfix UNINSTALL KB990403
  DESCRIPTION "Hotfix Package" COMPANY "Quellfix Tests" ORGNAME "SFXCAB.EXE" EMPTY_ENGINE)
quellfix_fake_installer(fake_cabinet UNINSTALL KB990404
  DESCRIPTION "Win32 Cabinet Self-Extractor" COMPANY "Quellfix Tests" ORGNAME "WEXTRACT.EXE")
# An exit code above the range of int.
quellfix_fake_installer(fake_msiexec UNINSTALL KB990406 EXIT_CODE 3221225477
  DESCRIPTION "Windows Installer" COMPANY "Quellfix Tests" ORGNAME "msiexec.exe.mui")
quellfix_fake_installer(fake_security UNINSTALL KB990407
  DESCRIPTION "Security Update for Windows XP (KB990407)" COMPANY "Quellfix Tests"
  ORGNAME "KB990407.exe")
quellfix_fake_installer(fake_gdiplus UNINSTALL KB990408
  DESCRIPTION "Microsoft GDI+ Detection Tool" COMPANY "Quellfix Tests" ORGNAME "gdidetect.exe")
quellfix_fake_installer(fake_unknown UNINSTALL KB990409 EXIT_CODE 7
  DESCRIPTION "보안 업데이트 설치 프로그램" COMPANY "퀠픽스 테스트" ORGNAME "other.exe")
quellfix_fake_installer(fake_hang UNINSTALL KB990413 HANG
  DESCRIPTION "Security Update" COMPANY "Microsoft Corporation")
# Several string tables; the user's language under the tests is Korean.
quellfix_fake_installer(fake_lang_korean UNINSTALL KB990411
  DESCRIPTION "Table @TABLE@" ORGNAME "lang.exe"
  TABLES 040904E4 041203B5 000004B0 TRANSLATIONS "0x0409, 1252" "0x0412, 949" "0x0000, 1200")

# A real Windows Installer package; its product code names its Uninstall key.
find_program(WIXL_PROGRAM wixl REQUIRED)
set(QUELLFIX_TEST_MSI_PRODUCT_CODE "{A80C79AD-21C3-4885-8865-7DE190781FBB}")
# wixl takes file sources relative to where it runs: the payload goes beside
# the generated package description.
set(QUELLFIX_TEST_MSI_PAYLOAD test_package_readme.txt)
configure_file(${QUELLFIX_RUN_FIXTURE_SOURCE}/test_package.wxs.in
               ${QUELLFIX_RUN_FIXTURE_OUTPUT}/test_package.wxs @ONLY)
configure_file(${QUELLFIX_RUN_FIXTURE_SOURCE}/${QUELLFIX_TEST_MSI_PAYLOAD}
               ${QUELLFIX_RUN_FIXTURE_OUTPUT}/${QUELLFIX_TEST_MSI_PAYLOAD} COPYONLY)
# The package matches the tests' architecture, so its Uninstall key lands in
# the registry view the tests and the program read.
set(test_msi_arch x86)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(test_msi_arch x64)
endif()
add_custom_command(
  OUTPUT ${QUELLFIX_RUN_FIXTURE_OUTPUT}/test_package.msi
  COMMAND ${WIXL_PROGRAM} --arch ${test_msi_arch} -o test_package.msi test_package.wxs
  WORKING_DIRECTORY ${QUELLFIX_RUN_FIXTURE_OUTPUT}
  DEPENDS ${QUELLFIX_RUN_FIXTURE_OUTPUT}/test_package.wxs
          ${QUELLFIX_RUN_FIXTURE_OUTPUT}/${QUELLFIX_TEST_MSI_PAYLOAD}
  COMMENT "Building the test MSI package")
add_custom_target(quellfix_test_msi DEPENDS ${QUELLFIX_RUN_FIXTURE_OUTPUT}/test_package.msi)
add_dependencies(quellfix_fixtures quellfix_test_msi)

target_compile_definitions(quellfix_test_support PUBLIC
  QUELLFIX_TEST_MSI_PRODUCT_CODE="${QUELLFIX_TEST_MSI_PRODUCT_CODE}")

# Reports whether a launched program inherited a handle or is open to everyone.
add_executable(probe_launch WIN32 ${QUELLFIX_RUN_FIXTURE_SOURCE}/probe_launch.cpp)
target_link_libraries(probe_launch PRIVATE advapi32)
set_target_properties(probe_launch PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUELLFIX_RUN_FIXTURE_OUTPUT})
add_dependencies(quellfix_fixtures probe_launch)
