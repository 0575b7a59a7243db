# The histories in RMark's form and as one row per animal keep every animal and state.

test_that("as_matrix has one row per animal, states by number", {
  x <- plovanet_study(occasions = 4, states = "A B",
                      entrants = list(A = c(100, 10, 10, 10), B = c(80, 5, 5, 5)),
                      survival = list(A = 0.8, B = 0.7), p = list(A = 0.5, B = 0.4),
                      move = list("A B" = 0.2, "B A" = 0.1), expected = FALSE, reps = 2, seed = 4)
  h <- x$histories[x$histories$rep == 2, ]
  m <- as_matrix(x, rep = 2)
  expect_equal(nrow(m), sum(h$freq))
  expect_equal(ncol(m), 4)
  # First captures at each occasion, in state A and B, as the histories count them.
  first <- apply(m, 1, function(r) r[r > 0][1])
  letters_first <- substr(gsub("0", "", rep(h$ch, h$freq)), 1, 1)
  expect_equal(first, match(letters_first, c("A", "B")))
  # A Barker study's characters are 0, 1 and 2, two per occasion.
  b <- as_matrix(plovanet_study(occasions = 3, encounters = "barker", entrants = c(300, 50, 50),
                                survival = 0.7, p = 0.4, report = 0.3, resight = 0.4,
                                expected = FALSE, seed = 5))
  expect_equal(ncol(b), 6)
  expect_setequal(unique(as.vector(b)), 0:2)
  expect_error(as_matrix(plovanet_study(occasions = 3, entrants = c(10, 1, 1), survival = 0.8,
                                        p = 0.3)), "whole numbers", fixed = TRUE)
})

test_that("as_rmark keeps ch and freq of one replicate", {
  x <- plovanet_study(occasions = 4, entrants = c(100, 20, 20, 20), survival = 0.8, p = 0.5,
                      expected = FALSE, reps = 2, seed = 8)
  r <- as_rmark(x, rep = 2)
  expect_named(r, c("ch", "freq"))
  expect_type(r$ch, "character")
  expect_equal(sum(r$freq), sum(x$histories$freq[x$histories$rep == 2]))
})
