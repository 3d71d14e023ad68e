# Grid tests
