# Main window tests
k27_add_test(test_mainwindow
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp ${CMAKE_CURRENT_LIST_DIR}/MainWindowFixture.h
    LIBS k27_mainwin)
k27_add_test(test_mainwindow_captions
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/CaptionCoverageTest.cpp ${CMAKE_CURRENT_LIST_DIR}/MainWindowFixture.h
    LIBS k27_mainwin)
# Demo rows for screenshots and manual checks (not a test).
add_executable(k27-demo-seed ${CMAKE_CURRENT_LIST_DIR}/SeedDemo.cpp)
target_link_libraries(k27-demo-seed PRIVATE k27_db k27_testsupport)
set_target_properties(k27-demo-seed PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# Pictures of the five pages for a look at the layout (not a test).
add_executable(k27-shots ${CMAKE_CURRENT_LIST_DIR}/Screenshots.cpp)
target_link_libraries(k27-shots PRIVATE k27_mainwin k27_testsupport)
