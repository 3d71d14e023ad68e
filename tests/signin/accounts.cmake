# Operator account tests
k27_add_test(operator_accounts_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/OperatorAccountsTest.cpp LIBS k27_signin)
