# Fixtures of the download, installer and diagnostic-output suites: fake
# installers with chosen version resources, a real MSI package, and the
# Winsock library the suites' helpers use. Everything lands in
# <build>/tests/fixtures, where FixtureFile() (support/RunFixtures.h) looks.

set(QUELLFIX_RUN_FIXTURE_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/run)
set(QUELLFIX_RUN_FIXTURE_OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/fixtures)
file(MAKE_DIRECTORY ${QUELLFIX_RUN_FIXTURE_OUTPUT})

# quellfix_fake_installer(<name> UNINSTALL <key name> [EXIT_CODE <n>]
#     [DESCRIPTION <text>] [COMPANY <text>] [ORGNAME <text>]
#     [ENGINE <text> | EMPTY_ENGINE]
#     [TABLES <lang+codepage hex> ...] [TRANSLATIONS "<lang>, <codepage>" ... | NO_TRANSLATION])
#
# Builds <name>.exe from fake_installer.cpp with a version resource of its
# own. Each of TABLES (default 040904B0) is a string table holding the given
# strings, where "@TABLE@" stands for the table's name, so a test can tell
# which table was read. TRANSLATIONS is the Translation list, in order
# (default "0x0409, 1200"); NO_TRANSLATION leaves the list out. Without
# ENGINE or EMPTY_ENGINE the resource has no "Installer Engine" value.
function(quellfix_fake_installer name)
  cmake_parse_arguments(PARSE_ARGV 1 FAKE "EMPTY_ENGINE;NO_TRANSLATION"
    "UNINSTALL;EXIT_CODE;DESCRIPTION;COMPANY;ORGNAME;ENGINE" "TABLES;TRANSLATIONS")
  if(NOT FAKE_UNINSTALL)
    message(FATAL_ERROR "quellfix_fake_installer(${name}): UNINSTALL is required")
  endif()
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
    if(DEFINED FAKE_ENGINE)
      string(APPEND values "            VALUE \"Installer Engine\", \"${FAKE_ENGINE}\"\n")
    elseif(FAKE_EMPTY_ENGINE)
      string(APPEND values "            VALUE \"Installer Engine\", \"\"\n")
    endif()
    string(APPEND FAKE_STRING_TABLES
           "        BLOCK \"${table}\"\n        BEGIN\n${values}        END\n")
  endforeach()

  if(FAKE_NO_TRANSLATION)
    set(FAKE_VAR_FILE_INFO "")
  else()
    list(JOIN FAKE_TRANSLATIONS ", " list)
    set(FAKE_VAR_FILE_INFO
        "    BLOCK \"VarFileInfo\"\n    BEGIN\n        VALUE \"Translation\", ${list}\n    END")
  endif()

  set(rc ${QUELLFIX_RUN_FIXTURE_OUTPUT}/${name}.rc)
  configure_file(${QUELLFIX_RUN_FIXTURE_SOURCE}/fake_installer.rc.in ${rc} @ONLY)
  add_executable(${name} WIN32 ${QUELLFIX_RUN_FIXTURE_SOURCE}/fake_installer.cpp ${rc})
  target_compile_definitions(${name} PRIVATE
    FAKE_UNINSTALL_NAME="${FAKE_UNINSTALL}" FAKE_EXIT_CODE=${FAKE_EXIT_CODE}u)
  target_link_libraries(${name} PRIVATE advapi32)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUELLFIX_RUN_FIXTURE_OUTPUT})
  add_dependencies(quellfix_fixtures ${name})
endfunction()

# One variant per way an installer is recognised.
quellfix_fake_installer(fake_iexpress UNINSTALL KB990401 EXIT_CODE 0
  DESCRIPTION "IExpress Setup" COMPANY "Quellfix Tests" ORGNAME "SFXCAB.EXE")
quellfix_fake_installer(fake_sfxcab UNINSTALL KB990402 EXIT_CODE 3010
  DESCRIPTION "Hotfix Package for Windows XP" COMPANY "Quellfix Tests"
  ORGNAME "KB990402.exe" ENGINE "SFXCAB.EXE")
quellfix_fake_installer(fake_hotfix UNINSTALL KB990403 EXIT_CODE 0
  DESCRIPTION "Hotfix Package" COMPANY "Quellfix Tests" ORGNAME "SFXCAB.EXE" EMPTY_ENGINE)
quellfix_fake_installer(fake_cabinet UNINSTALL KB990404 EXIT_CODE 0
  DESCRIPTION "Win32 Cabinet Self-Extractor" COMPANY "Quellfix Tests" ORGNAME "WEXTRACT.EXE")
quellfix_fake_installer(fake_update UNINSTALL KB990405 EXIT_CODE 0
  DESCRIPTION "Service Pack Setup" COMPANY "Quellfix Tests" ORGNAME "msiexec.exe"
  ENGINE "update.exe")
quellfix_fake_installer(fake_msiexec UNINSTALL KB990406 EXIT_CODE 1641
  DESCRIPTION "Windows Installer" COMPANY "Quellfix Tests" ORGNAME "msiexec.exe.mui")
quellfix_fake_installer(fake_security UNINSTALL KB990407 EXIT_CODE 0
  DESCRIPTION "Security Update for Windows XP (KB990407)" COMPANY "Quellfix Tests"
  ORGNAME "KB990407.exe")
quellfix_fake_installer(fake_gdiplus UNINSTALL KB990408 EXIT_CODE 0
  DESCRIPTION "Microsoft GDI+ Detection Tool" COMPANY "Quellfix Tests" ORGNAME "gdidetect.exe")
quellfix_fake_installer(fake_unknown UNINSTALL KB990409 EXIT_CODE 7
  DESCRIPTION "보안 업데이트 설치 프로그램" COMPANY "퀠픽스 테스트" ORGNAME "other.exe")
# A description longer than the 1023 characters the program keeps.
string(REPEAT "x" 1100 padding)
quellfix_fake_installer(fake_long UNINSTALL KB990410 EXIT_CODE 0
  DESCRIPTION "Hotfix Package ${padding}" COMPANY "Quellfix Tests" ORGNAME "KB990410.exe")

# Variants for the choice among several string tables (the user's default
# language under the tests is Korean, 0x0412).
quellfix_fake_installer(fake_lang_korean UNINSTALL KB990411
  DESCRIPTION "Table @TABLE@" ORGNAME "lang.exe"
  TABLES 040904E4 041203B5 000004B0 TRANSLATIONS "0x0409, 1252" "0x0412, 949" "0x0000, 1200")
quellfix_fake_installer(fake_lang_neutral UNINSTALL KB990412
  DESCRIPTION "Table @TABLE@" ORGNAME "lang.exe"
  TABLES 040904E4 000004B0 TRANSLATIONS "0x0409, 1252" "0x0000, 1200")
quellfix_fake_installer(fake_lang_english UNINSTALL KB990413
  DESCRIPTION "Table @TABLE@" ORGNAME "lang.exe"
  TABLES 040704E4 040904E4 TRANSLATIONS "0x0407, 1252" "0x0409, 1252")
quellfix_fake_installer(fake_lang_first UNINSTALL KB990414
  DESCRIPTION "Table @TABLE@" ORGNAME "lang.exe"
  TABLES 040704E4 040C04E4 TRANSLATIONS "0x0407, 1252" "0x040C, 1252")
quellfix_fake_installer(fake_lang_none UNINSTALL KB990415
  DESCRIPTION "Table @TABLE@" ORGNAME "lang.exe" TABLES 00000000 040904B0 NO_TRANSLATION)

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
add_custom_command(
  OUTPUT ${QUELLFIX_RUN_FIXTURE_OUTPUT}/test_package.msi
  COMMAND ${WIXL_PROGRAM} -o test_package.msi test_package.wxs
  WORKING_DIRECTORY ${QUELLFIX_RUN_FIXTURE_OUTPUT}
  DEPENDS ${QUELLFIX_RUN_FIXTURE_OUTPUT}/test_package.wxs
          ${QUELLFIX_RUN_FIXTURE_OUTPUT}/${QUELLFIX_TEST_MSI_PAYLOAD}
  COMMENT "Building the test MSI package")
add_custom_target(quellfix_test_msi DEPENDS ${QUELLFIX_RUN_FIXTURE_OUTPUT}/test_package.msi)
add_dependencies(quellfix_fixtures quellfix_test_msi)

target_compile_definitions(quellfix_test_support PUBLIC
  QUELLFIX_TEST_MSI_PRODUCT_CODE="${QUELLFIX_TEST_MSI_PRODUCT_CODE}")
# UnusedLoopbackPort() binds a socket.
target_link_libraries(quellfix_test_support PUBLIC ws2_32)

# Reports whether a launched program inherited a handle or got an access
# list open to everyone.
add_executable(probe_launch WIN32 ${QUELLFIX_RUN_FIXTURE_SOURCE}/probe_launch.cpp)
target_link_libraries(probe_launch PRIVATE advapi32)
set_target_properties(probe_launch PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUELLFIX_RUN_FIXTURE_OUTPUT})
add_dependencies(quellfix_fixtures probe_launch)
