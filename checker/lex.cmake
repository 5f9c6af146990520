# (empty until the scanner is built)
