# (empty until the parser is built)
