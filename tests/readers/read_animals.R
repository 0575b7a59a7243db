# Runs a study of individual animals (covariates, a random effect, tag loss, three replicates) with
# ANIMALS=, TRUTH= and INDIVIDUAL's CSV=, and reads them with read.csv as an analysis would take
# them (RMark's process.data wants ch as text and one column per covariate): the columns and their
# types, and the truth table against the totals and the records. Every animal alive at an
# occasion (entered by then, died at or after it) is one of TRUTH='s alive there, every capture in
# its careers one of its captured, and every career with a capture one CSV= row with its values.
args <- commandArgs(trailingOnly = TRUE)
binary <- normalizePath(args[1])
work <- tempfile("plovanet_r")
dir.create(work)
on.exit(unlink(work, recursive = TRUE))
K <- 5; reps <- 3
writeLines(c("occasions 5", "covariate mass normal 20 4", "covariate sex categories 0.4 0.6",
             "effect p mass 0.05", "effect survival sex -0.5", "heterogeneity p 0.8",
             "entrants 300 40 40 40 40", "survival 0.8", "retention 0.7", "p 0.4"),
           file.path(work, "plovanet.txt"))
old <- setwd(work)
status <- system2(binary, c("STOCHASTIC", "SEED=11", paste0("REPS=", reps), "OUT=sim.out", "INDIVIDUAL",
                            "CSV=ch.csv", "TRUTH=truth.csv", "ANIMALS=animals.csv"),
                  stdout = FALSE, stderr = FALSE)
setwd(old)
fail <- function(...) { cat("read_animals.R:", ..., "\n"); quit(status = 1) }
if (status != 0) fail("plovanet ended with status", status)

animals <- read.csv(file.path(work, "animals.csv"), colClasses = c(ch = "character"))
want <- c("rep", "dataset", "group", "id", "entered", "mass", "sex", "effect", "died", "ch")
if (!identical(names(animals), want)) fail("ANIMALS columns", names(animals))
if (!is.numeric(animals$mass) || !is.integer(animals$sex) || !is.integer(animals$died))
  fail("covariates or died not read as numbers")
careers <- strsplit(animals$ch, "|", fixed = TRUE)
if (!all(nchar(unlist(careers)) == K)) fail("a career lost its digits")
truth <- read.csv(file.path(work, "truth.csv"))
rows <- read.csv(file.path(work, "ch.csv"), colClasses = c(ch = "character"))
for (rep in seq_len(reps)) {
  a <- animals[animals$rep == rep, ]
  cs <- careers[animals$rep == rep]
  if (!identical(a$id, seq_len(nrow(a)))) fail("replicate", rep, ": ids not 1 to", nrow(a))
  t <- truth[truth$rep == rep, ]
  last <- ifelse(is.na(a$died), K, a$died)
  for (k in seq_len(K)) {
    alive <- sum(a$entered <= k & last >= k)
    caught <- sum(sapply(cs, function(c) sum(substr(c, k, k) == "1")))
    if (alive != t$alive[k] || caught != t$captured[k])
      fail("replicate", rep, "occasion", k, ":", alive, "alive and", caught, "caught, TRUTH says",
           t$alive[k], "and", t$captured[k])
  }
  # Each career with a capture, with its animal's values, is one INDIVIDUAL row.
  shown <- unlist(mapply(function(c, m, s, e) {
    c <- c[grepl("1", c)]
    if (length(c)) sprintf("%s %.6f %d %.6f", c, m, s, e)
  }, cs, a$mass, a$sex, a$effect))
  r <- rows[rows$rep == rep, ]
  listed <- sprintf("%s %.6f %d %.6f", r$ch, r$mass, r$sex, r$effect)
  if (!identical(sort(shown), sort(listed))) fail("replicate", rep, ": careers and CSV= rows differ")
}
cat("read_animals.R:", nrow(animals), "animals,", nrow(rows), "careers with a capture read\n")
