# A vectorised base-R simulator of the animal-by-animal benchmark's design (bench.cpp's
# `animals`), the yardstick its speed is held to: K = 20 occasions, N / 20 animals entering at
# each, survival 0.8, tag retention 0.9 by the tag's age, p = c = 0.4 on the logit scale moved by
# 0.5 per unit of mass ~ normal(5, 1) (p only) and by a random effect of sigma 1 (p and c), and
# survival moved by -0.4 for sex 1 (sex ~ categories 0.5, 0.5). Occasion by occasion every animal
# alive is drawn at once with rbinom; a tag loser that survives carries on unmarked with a new,
# empty history. Careers that show a capture are counted by history, as the program's tally does.
#
#   Rscript --vanilla bench/individuals.R [N] [runs]
# prints the median wall and CPU seconds of the runs and the wall time per animal-occasion (from
# each animal's entry to the last occasion, as the benchmark counts them).
args <- commandArgs(trailingOnly = TRUE)
N <- if (length(args) >= 1) as.numeric(args[1]) else 1e6
runs <- if (length(args) >= 2) as.integer(args[2]) else 3
K <- 20L
per <- N / K
s <- 0.8; th <- 0.9; p <- 0.4; c <- 0.4
beta_p_mass <- 0.5; beta_s_sex <- -0.4; sigma <- 1

simulate <- function() {
  mass <- numeric(0); sex <- numeric(0); eps <- numeric(0)
  marked <- integer(0)  # occasion of marking, 0 while unmarked
  hist <- integer(0)    # the career's history, bit K - k for occasion k
  ended <- vector("list", 2L * K)
  n_ended <- 0L
  tcap <- numeric(K); talive <- numeric(K); tlost <- numeric(K)
  for (k in 1:K) {
    mass <- c(mass, rnorm(per, 5, 1))
    sex <- c(sex, sample.int(2L, per, replace = TRUE) - 1L)
    eps <- c(eps, rnorm(per))
    marked <- c(marked, integer(per))
    hist <- c(hist, integer(per))
    n <- length(hist)
    talive[k] <- n
    lp <- ifelse(marked > 0, qlogis(c), qlogis(p) + beta_p_mass * mass) + sigma * eps
    caught <- rbinom(n, 1L, plogis(lp)) == 1L
    tcap[k] <- sum(caught)
    hist[caught] <- bitwOr(hist[caught], bitwShiftL(1L, K - k))
    marked[caught & marked == 0L] <- k
    if (k == K) {
      n_ended <- n_ended + 1L
      ended[[n_ended]] <- hist[hist != 0L]
      break
    }
    alive <- rbinom(n, 1L, plogis(qlogis(s) + beta_s_sex * sex)) == 1L
    kept <- rep(TRUE, n)
    tagged <- alive & marked > 0L
    kept[tagged] <- rbinom(sum(tagged), 1L, th) == 1L
    done <- !alive | !kept
    n_ended <- n_ended + 1L
    ended[[n_ended]] <- hist[done & hist != 0L]
    lost <- alive & !kept
    tlost[k + 1L] <- sum(lost)
    hist[lost] <- 0L
    marked[lost] <- 0L
    mass <- mass[alive]; sex <- sex[alive]; eps <- eps[alive]
    marked <- marked[alive]; hist <- hist[alive]
  }
  tabulate(unlist(ended[seq_len(n_ended)]), nbins = 2L^K - 1L)
}

set.seed(7)
counts <- NULL
times <- replicate(runs, system.time(counts <<- simulate())[c("elapsed", "user.self", "sys.self")])
wall <- median(times["elapsed", ])
cpu <- median(times["user.self", ] + times["sys.self", ])
animal_occasions <- per * sum(K - (0:(K - 1L)))
cat(sprintf("N %.0f  runs %d  median wall %.3f s  CPU %.3f s  %.1f ns per animal-occasion  histories %d\n",
            N, runs, wall, cpu, 1e9 * wall / animal_occasions, sum(counts > 0)))
