# Included by tests/CMakeLists.txt for a Windows build. Each suite is one test run under
# the emulator (Wine when cross-compiling): starting it once per case would cost more
# than the cases themselves.
function(add_windows_suite name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE testsupport GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

add_windows_suite(serial_tests PortListTest.cpp CancelEventTest.cpp)
target_link_libraries(serial_tests PRIVATE serial)

# The serial port on a COM port whose far end is the simulated module: skipped unless
# SERIAL_TEST_PORT names it.
add_windows_suite(serial_com_tests SerialPortWinTest.cpp)
target_link_libraries(serial_com_tests PRIVATE serial)

add_windows_suite(parser_tests FramingTest.cpp ParserTest.cpp ProprietaryParserTest.cpp)
target_link_libraries(parser_tests PRIVATE nmea)

add_windows_suite(link_tests CaptureLogTest.cpp)
target_link_libraries(link_tests PRIVATE link)

add_library(linkharness STATIC support/LinkHarness.cpp)
target_include_directories(linkharness PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(linkharness PUBLIC link)

add_windows_suite(dispatch_tests LinkDispatchTest.cpp)
target_link_libraries(dispatch_tests PRIVATE linkharness replydecoder)
set(NMEA_CAPTURES "${CMAKE_SOURCE_DIR}/../shared/data/nmea-captures" CACHE PATH "Directory of real NMEA captures")
target_compile_definitions(dispatch_tests PRIVATE NMEA_CAPTURES="${NMEA_CAPTURES}")

add_windows_suite(replay_tests ReplayTest.cpp)
target_link_libraries(replay_tests PRIVATE link)
target_compile_definitions(replay_tests PRIVATE NMEA_CAPTURES="${NMEA_CAPTURES}")

add_windows_suite(reply_tests ResponseDecoderTest.cpp)
target_link_libraries(reply_tests PRIVATE replydecoder)

add_windows_suite(command_tests CommandTableTest.cpp GpdTransferTest.cpp TtffSeriesTest.cpp)
target_link_libraries(command_tests PRIVATE modulecommands)

add_windows_suite(flash_protocol_tests FlashProtocolTest.cpp)
target_link_libraries(flash_protocol_tests PRIVATE flashcore)

add_windows_suite(ntrip_tests NtripProtocolTest.cpp)
target_link_libraries(ntrip_tests PRIVATE ntrip)
