# Main window tests
