k27_add_test(tst_signin SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_signin.cpp LIBS k27_signin)
