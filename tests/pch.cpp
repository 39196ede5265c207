// Compiled only to make the tests' precompiled Qt headers.
