// keeps the helper library non-empty
