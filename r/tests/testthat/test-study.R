# The package against the command line, R conditions, and an estimate from its data frames.

binary <- Sys.getenv("PLOVANET_BINARY")
examples <- Sys.getenv("PLOVANET_EXAMPLES")

# The command line's CSV= and TRUTH= files of one run, read back.
command_line <- function(file, args) {
  dir <- tempfile()
  dir.create(dir)
  on.exit(unlink(dir, recursive = TRUE))
  status <- system2(binary, c(paste0("IN=", file), paste0("OUT=", file.path(dir, "o.out")),
                              paste0("CSV=", file.path(dir, "c.csv")),
                              paste0("TRUTH=", file.path(dir, "t.csv")), args),
                    stdout = FALSE, stderr = FALSE)
  expect_equal(status, 0)
  list(histories = read.csv(file.path(dir, "c.csv"), colClasses = c(ch = "character")),
       truth = read.csv(file.path(dir, "t.csv"), colClasses = c(seed = "integer")))
}

test_that("examples give the command line's histories and truth", {
  skip_if(binary == "" || examples == "", "PLOVANET_BINARY and PLOVANET_EXAMPLES not set")
  cases <- list(
    list(file = "open_named.txt", expected = TRUE, reps = 1),
    list(file = "open_named.txt", expected = FALSE, reps = 3),
    list(file = "sites_named.txt", expected = TRUE, reps = 1),
    list(file = "sites_named.txt", expected = FALSE, reps = 2)
  )
  for (case in cases) {
    file <- file.path(examples, case$file)
    args <- c("RNG=PCG", "SEED=11", if (!case$expected) "STOCHASTIC",
              if (case$reps > 1) paste0("REPS=", case$reps))
    want <- command_line(file, args)
    got <- plovanet_study(file, expected = case$expected, reps = case$reps, seed = 11)
    expect_equal(got$histories, want$histories, ignore_attr = TRUE, label = case$file)
    expect_equal(got$truth, want$truth, ignore_attr = TRUE, label = case$file)
  }
})

test_that("arguments make the same study as the named file", {
  from_args <- plovanet_study(occasions = 5, entrants = c(500, 100, 100, 100, 100), survival = 0.8,
                              p = 0.3, expected = FALSE, reps = 2, seed = 3)
  text <- c("occasions 5", "entrants 500 100 100 100 100", "survival 0.8", "p 0.3")
  file <- tempfile(fileext = ".txt")
  writeLines(text, file)
  from_file <- plovanet_study(file, expected = FALSE, reps = 2, seed = 3)
  expect_identical(from_args$histories, from_file$histories)
  expect_type(from_args$histories$ch, "character")
  expect_setequal(unique(from_args$histories$rep), 1:2)
})

test_that("a study in chunks behind the progress bar is the same study", {
  one <- plovanet_study(occasions = 4, entrants = c(200, 50, 50, 50), survival = 0.7, p = 0.4,
                        expected = FALSE, reps = 60, seed = 9)
  bar <- capture.output(chunks <- plovanet_study(occasions = 4, entrants = c(200, 50, 50, 50),
                                                 survival = 0.7, p = 0.4, expected = FALSE,
                                                 reps = 60, seed = 9, progress = TRUE))
  expect_identical(one, chunks)
})

test_that("the program's faults are R errors with its message", {
  expect_error(plovanet_study(occasions = 5, entrants = 1:5, survival = 1.5, p = 0.3),
               "survival takes rates from 0 to 1, not 1.5", fixed = TRUE)
  expect_error(plovanet_study(occasions = 3, entrants = c(1, 2, 3), p = 0.3, suvival = 0.8),
               "suvival", fixed = TRUE)
  expect_error(plovanet_study(occasions = 3), "at least occasions and entrants", fixed = TRUE)
  # The session goes on after each.
  expect_true(is.list(plovanet_study(occasions = 3, entrants = c(10, 1, 1), survival = 0.8, p = 0.5)))
})

test_that("a CJS estimate from the histories recovers survival", {
  phi <- 0.75
  x <- plovanet_study(occasions = 6, entrants = c(20000, rep(2000, 5)), survival = phi, p = 0.5,
                      expected = FALSE, seed = 21)
  h <- x$histories
  bits <- do.call(rbind, lapply(strsplit(h$ch, ""), as.integer))
  K <- ncol(bits)
  first <- apply(bits, 1, function(b) match(1, b))
  # Cormack-Jolly-Seber with constant phi and p by maximum likelihood.
  loglik <- function(par) {
    s <- plogis(par[1])
    q <- plogis(par[2])
    chi <- numeric(K)
    chi[K] <- 1
    for (k in (K - 1):1) chi[k] <- 1 - s + s * (1 - q) * chi[k + 1]
    ll <- 0
    for (i in seq_len(nrow(bits))) {
      f <- first[i]
      l <- max(which(bits[i, ] == 1))
      if (l > f) {
        seen <- bits[i, (f + 1):l]
        ll <- ll + h$freq[i] * ((l - f) * log(s) + sum(seen) * log(q) + sum(1 - seen) * log(1 - q))
      }
      ll <- ll + h$freq[i] * log(chi[l])
    }
    -ll
  }
  fit <- optim(c(0, 0), loglik)
  expect_lt(abs(plogis(fit$par[1]) - phi), 0.02)
})

test_that("write_mark writes the command line's MARK file of a replicate", {
  skip_if(binary == "" || examples == "", "PLOVANET_BINARY and PLOVANET_EXAMPLES not set")
  dir <- tempfile()
  dir.create(dir)
  on.exit(unlink(dir, recursive = TRUE))
  file <- file.path(examples, "open_named.txt")
  system2(binary, c(paste0("IN=", file), paste0("OUT=", file.path(dir, "o.inp")), "MARK",
                    "STOCHASTIC", "RNG=PCG", "SEED=11", "REPS=3"), stdout = FALSE, stderr = FALSE)
  x <- plovanet_study(file, expected = FALSE, reps = 3, seed = 11)
  write_mark(x, file.path(dir, "r.inp"), rep = 2)
  expect_identical(readBin(file.path(dir, "r.inp"), "raw", 1e6),
                   readBin(file.path(dir, "o_0002.inp"), "raw", 1e6))
  expect_error(write_mark(x, file.path(dir, "r.inp"), rep = 4), "no replicate 4", fixed = TRUE)
  expect_identical(sort(list.files(dir)), c("o_0001.inp", "o_0002.inp", "o_0003.inp", "r.inp"))
})

test_that("the program's warnings are R warnings, once each", {
  expect_warning(x <- plovanet_study(occasions = 4, entrants = c(100, 20, 20, 20), survival = 0.8,
                                     p = 0.4, f = 0.2, expected = FALSE, reps = 3, seed = 1),
                 "line 5: f is used only with RECRUIT=; it is ignored", fixed = TRUE)
  expect_equal(nrow(x$truth), 12)
})
