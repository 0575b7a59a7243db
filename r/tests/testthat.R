library(testthat)
library(plovanet)
test_check("plovanet")
