# The R package's speed against the command line and against plain vectorised R.
#
#   Rscript --vanilla bench/r_package.R PLOVANET_BINARY [runs] [animals]
#
# The package is taken from the library path (R_LIBS, or .libPaths() as usual). Every round times,
# in turn so that a change in the machine's load hits them all alike:
#   (a) plovanet_study() of 1000 stochastic replicates of the README's open example
#       (examples/open.txt: 5 occasions, 500 then 100 entrants, survival 0.8, p = c = 0.3);
#   (a') the same with progress = TRUE (the study run in 50 chunks for the bar, the bar sent to a
#       null connection), what an interactive session gets by default;
#   (b) the command line writing the same CSV= and TRUTH= files, and its 1000 output files, into
#       a temporary folder on disk, through system2;
#   (b') the same into a folder on tmpfs (/dev/shm);
#   (c) simulate_open() below, the same 1000 replicates in vectorised base R, all at once; for
#       information also with runif(n) < p for rbinom(n, 1, p) (faster), and one replicate at a
#       time (slower).
# It prints the median wall seconds of each (a warm-up round first, not counted) and the ratios
# (a)/(b), (a)/(b') and (c)/(a); then the mean number of distinct histories and of captured
# animals per replicate of (a), (b) and (c), which show that the three simulate one study.
# With animals > 0 (default 10^6; 0 skips it) it then times the individual-animal design of
# bench/individuals.R through plovanet_study() and runs that script for the same number of runs.
args <- commandArgs(trailingOnly = TRUE)
if (length(args) < 1) {
  stop("usage: Rscript --vanilla bench/r_package.R PLOVANET_BINARY [runs] [animals]")
}
binary <- normalizePath(args[1], mustWork = TRUE)
runs <- if (length(args) >= 2) as.integer(args[2]) else 11L
animals_n <- if (length(args) >= 3) as.numeric(args[3]) else 1e6
file_arg <- sub("^--file=", "", grep("^--file=", commandArgs(), value = TRUE))
root <- normalizePath(file.path(dirname(file_arg), ".."))
example <- file.path(root, "examples", "open.txt")
suppressPackageStartupMessages(library(plovanet))

reps <- 1000L
seed <- 7L
K <- 5L
entrants <- c(500, 100, 100, 100, 100)
s <- 0.8; p <- 0.3; c <- 0.3

# The open example in vectorised base R, nrep replicates at once: occasion by occasion every
# animal alive in every replicate is drawn with one call, as bench/individuals.R draws every animal
# of one population; histories are tallied per replicate as ch and freq, in the package's order.
ch_text <- vapply(seq_len(2L^K - 1L),
                  function(h) paste(rev(as.integer(intToBits(h))[1:K]), collapse = ""), "")
by_rbinom <- function(n, prob) rbinom(n, 1L, prob) == 1L
by_runif <- function(n, prob) runif(n) < prob
simulate_open <- function(nrep = reps, draw = by_rbinom) {
  rep_of <- integer(0)  # each animal's replicate
  hist <- integer(0)    # its history so far, bit K - k for occasion k
  ended_rep <- vector("list", K)
  ended_hist <- vector("list", K)
  for (k in seq_len(K)) {
    rep_of <- c(rep_of, rep.int(seq_len(nrep), entrants[k]))
    hist <- c(hist, integer(nrep * entrants[k]))
    prob <- rep.int(p, length(hist))
    prob[hist > 0L] <- c
    caught <- draw(length(hist), prob)
    hist[caught] <- hist[caught] + bitwShiftL(1L, K - k)
    if (k == K) {
      seen <- hist > 0L
      ended_rep[[k]] <- rep_of[seen]
      ended_hist[[k]] <- hist[seen]
      break
    }
    alive <- draw(length(hist), s)
    died <- !alive & hist > 0L
    ended_rep[[k]] <- rep_of[died]
    ended_hist[[k]] <- hist[died]
    rep_of <- rep_of[alive]
    hist <- hist[alive]
  }
  nh <- 2L^K - 1L
  counts <- tabulate((unlist(ended_rep) - 1L) * nh + unlist(ended_hist), nbins = nrep * nh)
  key <- which(counts > 0L) - 1L
  data.frame(rep = key %/% nh + 1L, ch = ch_text[key %% nh + 1L], freq = counts[key + 1L])
}
# The same one replicate at a time, as a script written around one population would run it.
simulate_open_loop <- function() {
  parts <- lapply(seq_len(reps), function(r) {
    d <- simulate_open(1L)
    d$rep <- rep.int(r, nrow(d))
    d
  })
  data.frame(rep = unlist(lapply(parts, `[[`, "rep")), ch = unlist(lapply(parts, `[[`, "ch")),
             freq = unlist(lapply(parts, `[[`, "freq")))
}

open_study <- function(progress = FALSE) {
  plovanet_study(occasions = K, entrants = entrants, survival = s, p = p, c = c, expected = FALSE,
                 reps = reps, seed = seed, progress = progress)
}
quiet_progress <- function() {
  # txtProgressBar writes to stdout(); a sink to a null connection keeps it off the console.
  con <- file(nullfile(), "w")
  sink(con)
  on.exit({ sink(); close(con) })
  open_study(progress = TRUE)
}

disk_dir <- tempfile("r_package_bench_")
shm_dir <- if (dir.exists("/dev/shm")) tempfile("r_package_bench_", tmpdir = "/dev/shm") else NA
command_line <- function(dir) {
  keywords <- c(paste0("IN=", example), paste0("OUT=", file.path(dir, "open.inp")), "STOCHASTIC",
                "RNG=PCG", paste0("SEED=", seed), paste0("REPS=", reps),
                paste0("CSV=", file.path(dir, "ch.csv")), paste0("TRUTH=", file.path(dir, "truth.csv")))
  status <- system2(binary, keywords, stdout = FALSE, stderr = FALSE)
  if (status != 0) stop("the command line failed with status ", status)
}
# Each run starts from an empty folder, as a script's run would; clearing it is not timed.
fresh <- function(dir) {
  unlink(dir, recursive = TRUE)
  dir.create(dir)
}

jobs <- list(
  package = function() open_study(),
  package_progress = function() quiet_progress(),
  command_disk = function() command_line(disk_dir),
  command_tmpfs = if (!is.na(shm_dir)) function() command_line(shm_dir),
  base_r = function() simulate_open(),
  base_r_runif = function() simulate_open(draw = by_runif),
  base_r_loop = function() simulate_open_loop()
)
jobs <- jobs[!vapply(jobs, is.null, TRUE)]
before <- list(command_disk = function() fresh(disk_dir), command_tmpfs = function() fresh(shm_dir))

# Wall seconds of f(), after a collection; Sys.time() rather than system.time(), as the package's
# run lasts about 20 ms and proc.time()'s elapsed counts whole milliseconds.
timed <- function(f) {
  gc(FALSE)
  start <- Sys.time()
  value <- f()
  list(value = value, t = as.numeric(Sys.time()) - as.numeric(start))
}

set.seed(seed)
results <- list()
times <- matrix(NA_real_, runs, length(jobs), dimnames = list(NULL, names(jobs)))
for (round in 0:runs) {  # round 0 warms up
  for (j in names(jobs)) {
    if (!is.null(before[[j]])) before[[j]]()
    x <- timed(jobs[[j]])
    if (round == 0) results[[j]] <- x$value else times[round, j] <- x$t
  }
}
cli <- read.csv(file.path(disk_dir, "ch.csv"), colClasses = c(ch = "character"))
unlink(c(disk_dir, shm_dir), recursive = TRUE)

med <- apply(times, 2, median)
cat(sprintf("%d rounds, load average at the end: %s\n", runs, readLines("/proc/loadavg")))
cat("median wall seconds:\n")
for (j in names(med)) {
  cat(sprintf("  %-17s %.4f  (min %.4f, max %.4f)\n", j, med[[j]], min(times[, j]), max(times[, j])))
}
ratio <- function(a, b, target = "") {
  if (!all(c(a, b) %in% names(med))) return(invisible())
  cat(sprintf("  %-32s %.2f %s\n", paste0(a, " / ", b), med[[a]] / med[[b]], target))
}
cat("ratios of the medians:\n")
ratio("package", "command_disk", "(goal: at most 1.2)")
ratio("package", "command_tmpfs", "(goal: at most 1.2)")
ratio("package_progress", "package")
ratio("base_r", "package", "(goal: at least 30)")
ratio("base_r_runif", "package")
ratio("base_r_loop", "package")

per_rep <- function(h) c(histories = nrow(h) / reps, captured = sum(h$freq) / reps)
pkg <- results$package$histories
cat("per replicate, mean (distinct histories, captured animals):\n")
cat(sprintf("  %-17s %7.2f %8.2f\n", "package", per_rep(pkg)[1], per_rep(pkg)[2]))
cat(sprintf("  %-17s %7.2f %8.2f\n", "command line", per_rep(cli)[1], per_rep(cli)[2]))
for (j in grep("^base_r", names(results), value = TRUE)) {
  cat(sprintf("  %-17s %7.2f %8.2f\n", j, per_rep(results[[j]])[1], per_rep(results[[j]])[2]))
}
ev <- plovanet_study(occasions = K, entrants = entrants, survival = s, p = p, c = c,
                     minfreq = 0)$histories
cat(sprintf("  %-17s %7s %8.2f\n", "expected values", "", sum(ev$freq)))
same <- identical(pkg$rep, cli$rep) && identical(pkg$ch, cli$ch) &&
  identical(as.numeric(pkg$freq), as.numeric(cli$freq))
cat(sprintf("package's histories the same as the command line's CSV: %s\n", if (same) "yes" else "NO"))

if (animals_n > 0) {
  # bench/individuals.R's design (bench.cpp's animals) in the named settings: K = 20, N / 20
  # entrants at every occasion, survival 0.8, retention 0.9, p = c = 0.4, mass ~ normal(5, 1)
  # moving p by 0.5, sex ~ categories(0.5, 0.5) moving survival by -0.4, a random effect of
  # sigma 1 on p and c.
  individuals <- function() {
    plovanet_study(occasions = 20, entrants = rep(animals_n / 20, 20), survival = 0.8,
                   retention = 0.9, p = 0.4, c = 0.4,
                   covariate = list(mass = "normal 5 1", sex = "categories 0.5 0.5"),
                   effect = list(p = "mass 0.5", survival = "sex -0.4"),
                   heterogeneity = list(p = 1), expected = FALSE, seed = seed)
  }
  x <- individuals()  # warm-up
  t_ind <- replicate(runs, timed(individuals)$t)
  cat(sprintf("\nindividual animals, N = %.0f: plovanet_study() median wall %.4f s (min %.4f), %d %s\n",
              animals_n, median(t_ind), min(t_ind), nrow(x$histories), "histories"))
  script <- file.path(root, "bench", "individuals.R")
  out <- system2(file.path(R.home("bin"), "Rscript"),
                 c("--vanilla", script, format(animals_n, scientific = FALSE), runs), stdout = TRUE)
  cat("bench/individuals.R:", out, sep = "\n  ")
  r_wall <- as.numeric(sub(".*median wall ([0-9.]+) s.*", "\\1", out[length(out)]))
  cat(sprintf("individuals.R / plovanet_study(): %.1f\n", r_wall / median(t_ind)))
}
