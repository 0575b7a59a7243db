# The Arnason-Schwarz model fitted by maximum likelihood to a multistate study's expected values:
# survival, capture and movement of each state, constant over time, conditional on each
# animal's first capture (Brownie et al. 1993). Fitted to expected frequencies the estimates are
# the rates that made them. The histories are read from CSV= with read.csv, as users read them.
# Where RMark is installed, its process.data reads the same file as a Multistrata study.
args <- commandArgs(trailingOnly = TRUE)
binary <- normalizePath(args[1])
work <- tempfile("plovanet_as")
dir.create(work)
on.exit(unlink(work, recursive = TRUE))
fail <- function(...) { cat("multistate_as.R:", ..., "\n"); quit(status = 1) }

truth <- c(phiA = 0.8, phiB = 0.65, pA = 0.4, pB = 0.55, psiAB = 0.3, psiBA = 0.15)
writeLines(c("occasions 6", "states A B",
             "entrants A 1000 200 200 200 200 200", "entrants B 500 100 100 100 100 100",
             "survival A 0.8", "survival B 0.65", "p A 0.4", "p B 0.55",
             "move A B 0.3", "move B A 0.15"), file.path(work, "ms.txt"))
old <- setwd(work)
status <- system2(binary, c("IN=ms.txt", "OUT=ms.out", "CSV=ms.csv", "MINFREQ=0"),
                  stdout = FALSE, stderr = FALSE)
setwd(old)
if (status != 0) fail("plovanet ended with status", status)
h <- read.csv(file.path(work, "ms.csv"), colClasses = c(ch = "character"))
if (!all(grepl("^[0AB]{6}$", h$ch))) fail("histories other than 0, A and B")

# The log-likelihood: each history from its first capture on, the state hidden between captures
# (forward recursion over A, B and dead).
states <- c("A", "B")
loglik <- function(theta) {
  r <- plogis(theta)
  phi <- r[1:2]; p <- r[3:4]
  psi <- matrix(c(1 - r[5], r[5], r[6], 1 - r[6]), 2, byrow = TRUE)
  step <- rbind(cbind(phi * psi, 1 - phi), c(0, 0, 1))  # A, B, dead to A, B, dead
  total <- 0
  for (i in seq_len(nrow(h))) {
    ch <- strsplit(h$ch[i], "")[[1]]
    first <- which(ch != "0")[1]
    alpha <- as.numeric(c(states, "dead") == ch[first])
    for (t in seq_len(length(ch))[-(1:first)]) {
      seen <- if (ch[t] == "0") c(1 - p, 1) else c(as.numeric(states == ch[t]) * p, 0)
      alpha <- as.vector(alpha %*% step) * seen
    }
    total <- total + h$freq[i] * log(sum(alpha))
  }
  total
}
start <- qlogis(c(0.5, 0.5, 0.5, 0.5, 0.2, 0.2))
fit <- optim(start, function(x) -loglik(x), method = "BFGS", control = list(reltol = 1e-14, maxit = 500))
est <- setNames(plogis(fit$par), names(truth))
if (fit$convergence != 0) fail("optim did not converge:", fit$message)
if (any(abs(est - truth) > 1e-4)) fail("estimates", format(est), "for", format(truth))

if (requireNamespace("RMark", quietly = TRUE)) {
  data <- RMark::process.data(h[, c("ch", "freq")], model = "Multistrata")
  if (!identical(sort(as.character(data$strata.labels)), states)) fail("RMark read strata", data$strata.labels)
}
cat("multistate_as.R: largest error of the estimates", format(max(abs(est - truth))), "\n")
