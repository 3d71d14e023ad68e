# Operator account tests
