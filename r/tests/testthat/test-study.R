# The package against the command line, R conditions, and an estimate from its data frames.

binary <- Sys.getenv("PLOVANET_BINARY")
examples <- Sys.getenv("PLOVANET_EXAMPLES")

# The command line's CSV=, TRUTH= (and ANIMALS=) files of one run, read back.
command_line <- function(file, args, animals = FALSE) {
  dir <- tempfile()
  dir.create(dir)
  on.exit(unlink(dir, recursive = TRUE))
  status <- system2(binary, c(paste0("IN=", file), paste0("OUT=", file.path(dir, "o.out")),
                              paste0("CSV=", file.path(dir, "c.csv")),
                              paste0("TRUTH=", file.path(dir, "t.csv")),
                              if (animals) paste0("ANIMALS=", file.path(dir, "a.csv")), args),
                    stdout = FALSE, stderr = FALSE)
  expect_equal(status, 0)
  read <- function(f) {
    frame <- read.csv(file.path(dir, f), colClasses = "character")
    # As the package gives them: ch as text, an empty column (a run's seed in expected values)
    # integer NA, the others as R reads them.
    numbers <- setdiff(names(frame), "ch")
    frame[numbers] <- lapply(frame[numbers], function(v) {
      if (all(v == "")) rep(NA_integer_, length(v)) else type.convert(v, as.is = TRUE)
    })
    frame
  }
  list(histories = read("c.csv"), truth = read("t.csv"), animals = if (animals) read("a.csv"))
}

test_that("every example gives the command line's histories, truth and animals", {
  skip_if(binary == "" || examples == "", "PLOVANET_BINARY and PLOVANET_EXAMPLES not set")
  # The keywords each example is run with, as the package's arguments.
  with <- list(groups = list(groups = 2), mh = list(classes = 2), tagloss = list(theta = "time"),
               recruit = list(recruit = "binomial", usef1 = TRUE))
  keyword <- function(name, value) {
    switch(name, groups = paste0("GROUPS=", value), classes = paste0("CLASSES=", value),
           theta = "THETA=TIME", recruit = "RECRUIT=BINOMIAL", usef1 = "USEF1")
  }
  for (file in list.files(examples, pattern = "[.]txt$", full.names = TRUE)) {
    extra <- with[[sub("(_named)?[.]txt$", "", basename(file))]]
    for (expected in c(TRUE, FALSE)) {
      reps <- if (expected) 1 else 2
      # Animals one at a time, as INDIVIDUAL and ANIMALS= list them, where the study has them.
      each <- !expected && grepl("individuals", file)
      args <- c("RNG=PCG", "SEED=11", unlist(Map(keyword, names(extra), extra)),
                if (!expected) c("STOCHASTIC", "REPS=2"), if (each) "INDIVIDUAL")
      want <- command_line(file, args, animals = each)
      got <- do.call(plovanet_study, c(list(file, expected = expected, reps = reps, seed = 11,
                                            individual = each, animals = each), extra))
      label <- paste(basename(file), if (expected) "expected" else "stochastic")
      for (part in c("histories", "truth", if (each) "animals")) {
        expect_equal(got[[part]], want[[part]], ignore_attr = TRUE, label = paste(label, part))
      }
    }
  }
})

test_that("arguments make the same study as the named file", {
  skip_if(examples == "", "PLOVANET_EXAMPLES not set")
  example <- function(name, ...) {
    plovanet_study(file.path(examples, name), ..., expected = FALSE, reps = 2, seed = 3)
  }
  cases <- list(
    open = list(example("open_named.txt"),
                plovanet_study(occasions = 5, entrants = c(500, 100, 100, 100, 100), survival = 0.8,
                               retention = 1, p = 0.3, expected = FALSE, reps = 2, seed = 3)),
    # groups and classes as lists: each names what differs from the arguments.
    groups = list(example("groups_named.txt", groups = 2),
                  plovanet_study(occasions = 4, p = 0.4, entrants = c(200, 50, 50, 50),
                                 groups = list(list(survival = 0.85),
                                               list(survival = 0.7, entrants = c(150, 50, 50, 50))),
                                 expected = FALSE, reps = 2, seed = 3)),
    mh = list(example("mh_named.txt", classes = 2),
              plovanet_study(occasions = 5, entrants = c(60, 0, 0, 0, 0), survival = 1,
                             classes = list(list(p = 0.2), list(p = 0.6, entrants = c(40, 0, 0, 0, 0))),
                             expected = FALSE, reps = 2, seed = 3)),
    sites = list(example("sites_named.txt"),
                 plovanet_study(occasions = 6, states = "A B",
                                entrants = list(A = c(300, 50, 50, 50, 50, 50), B = c(200, 30, 30, 30, 30, 30)),
                                survival = list(A = 0.8, B = 0.7), p = list(A = 0.5, B = 0.4),
                                move = list("A B" = 0.2, "B A" = 0.1), expected = FALSE, reps = 2, seed = 3))
  )
  for (name in names(cases)) {
    expect_identical(cases[[name]][[2]]$histories, cases[[name]][[1]]$histories, label = name)
  }
  expect_type(cases$open[[2]]$histories$ch, "character")
  expect_setequal(unique(cases$groups[[2]]$histories$group), 1:2)
})

test_that("a study in chunks behind the progress bar is the same study", {
  one <- plovanet_study(occasions = 4, entrants = c(200, 50, 50, 50), survival = 0.7, p = 0.4,
                        expected = FALSE, reps = 60, seed = 9)
  bar <- capture.output(chunks <- plovanet_study(occasions = 4, entrants = c(200, 50, 50, 50),
                                                 survival = 0.7, p = 0.4, expected = FALSE,
                                                 reps = 60, seed = 9, progress = TRUE))
  expect_identical(one, chunks)
})

test_that("bad arguments and the program's faults are R errors with a message", {
  study <- function(...) {
    plovanet_study(..., occasions = 3, entrants = c(10, 1, 1), p = 0.5)
  }
  cases <- list(
    list(quote(study(survival = 1.5)), "survival takes rates from 0 to 1, not 1.5"),
    list(quote(study(suvival = 0.8)), "suvival"),
    list(quote(plovanet_study(occasions = 3)), "at least occasions and entrants"),
    list(quote(study(0.8)), "file must be one path"),
    list(quote(study("study.txt", 0.9)), "settings are given by name"),
    list(quote(study(survival = NA)), "survival needs one or more values"),
    list(quote(study(survival = list(0.8, 0.7))), "name each element"),
    list(quote(study(reps = 0)), "reps must be a whole number from 1"),
    list(quote(study(reps = 2.5)), "reps must be a whole number from 1"),
    list(quote(study(first_rep = 2147483647, reps = 2)), "replicate 2147483648 is beyond"),
    list(quote(study(seed = "7")), "seed must be a whole number"),
    list(quote(study(expected = NA)), "expected must be TRUE or FALSE"),
    list(quote(study(minfreq = -1)), "minfreq must be a number, 0 or more"),
    list(quote(study(recruit = "poisson")), "recruit must be"),
    list(quote(study(theta = "tag")), "theta must be"),
    list(quote(study(individual = TRUE)), "give expected = FALSE"),
    list(quote(study(groups = 2)), "groups is a list of one list of settings for each group"),
    list(quote(study(groups = list(list(retention = 0.9), list()))),
         "retention is set for some groups or classes only"),
    list(quote(plovanet_study(tempfile())), "cannot read the parameter file"),
    list(quote(plovanet_study(system.file("DESCRIPTION", package = "plovanet"), p = 0.3)),
         "give a parameter file or settings, not both")
  )
  for (case in cases) {
    expect_error(eval(case[[1]]), case[[2]], fixed = TRUE, label = deparse1(case[[1]]))
  }
  # The session goes on after each.
  expect_true(is.list(study(survival = 0.8)))
})

test_that("an interrupt stops a long study at once and leaves the session working", {
  skip_on_os("windows")
  # Each some 20 s when not interrupted: many replicates, and one of 10^8 animals, each followed.
  studies <- list(
    quote(plovanet_study(occasions = 20, entrants = c(1e5, rep(1e4, 19)), survival = 0.8, p = 0.3,
                         expected = FALSE, reps = 2000, seed = 1)),
    quote(plovanet_study(occasions = 20, entrants = 5e6, survival = 0.8, p = 0.3,
                         heterogeneity = "p 1", expected = FALSE, seed = 1))
  )
  for (study in studies) {
    # The interrupt comes from outside while the study runs in compiled code, as Ctrl-C would.
    system(sprintf("(sleep 1; kill -INT %d)", Sys.getpid()), wait = FALSE)
    started <- Sys.time()
    got <- suppressWarnings(tryCatch(eval(study), interrupt = function(e) "interrupted"))
    took <- as.numeric(difftime(Sys.time(), started, units = "secs"))
    expect_identical(got, "interrupted", label = deparse1(study))
    expect_gt(took, 0.5)  # the study was under way
    expect_lt(took, 10)
  }
  expect_equal(nrow(plovanet_study(occasions = 3, entrants = c(10, 1, 1), survival = 1, p = 0.5)$truth), 3)
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
  study <- function(...) {
    plovanet_study(occasions = 4, entrants = c(100, 20, 20, 20), survival = 0.8, p = 0.4, ...)
  }
  cases <- list(
    list(quote(study(f = 0.2, expected = FALSE, reps = 3, seed = 1)),
         "line 5: f is used only with RECRUIT=; it is ignored"),
    list(quote(study(reps = 120, progress = TRUE)),
         "reps = 120 with expected = TRUE gives 120 identical replicates")
  )
  for (case in cases) {
    capture.output(got <- expect_warning(eval(case[[1]]), case[[2]], fixed = TRUE))
    expect_equal(nrow(got$truth), 4 * eval(case[[1]][["reps"]]))
  }
})
