# Operator account sources: the checks and statements behind the operator list.
list(APPEND K27_SIGNIN_SOURCES OperatorAccounts.h OperatorAccounts.cpp)
