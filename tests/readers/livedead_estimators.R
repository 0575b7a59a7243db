# Joint live-dead studies against estimators from the literature and a model of their own.
#  - With no reports and full fidelity, the live part of plovanet's live-dead and Barker
#    histories (no resightings, no return) and of the reference model's (livedead_expected.R)
#    is the ordinary study plovanet writes today, history by history.
#  - plovanet's CSV= of small live-dead and Barker designs holds the reference model's
#    frequencies, history by history, and its TRUTH= the model's true numbers (the animals
#    alive, caught, dead, reported dead, leaving the area, and tags lost).
#  - Seber's recovery model (Brownie et al. 1985, model M1: survival and recovery rate by year)
#    fitted to the dead recoveries of a study that never recaptures alive (c 0) returns the
#    survival that made the data; with tag retention theta it returns survival x theta, the bias
#    tag loss puts on recovery studies. With constant rates, by maximum likelihood, the same.
#  - Burnham's joint likelihood (1993) with constant S, p, r and F, conditional on first capture,
#    fitted to expected values returns the rates.
# The histories are read from CSV= with read.csv, as users read them. Where RMark is installed,
# its process.data reads the same file as a Burnham study.
args <- commandArgs(trailingOnly = TRUE)
binary <- normalizePath(args[1])
here <- dirname(normalizePath(sub("^--file=", "", grep("^--file=", commandArgs(), value = TRUE))))
source(file.path(here, "livedead_expected.R"))
work <- tempfile("plovanet_ld")
dir.create(work)
on.exit(unlink(work, recursive = TRUE))
fail <- function(...) { cat("livedead_estimators.R:", ..., "\n"); quit(status = 1) }

# Runs plovanet on a named file made of `lines` and returns its CSV= histories, frequencies kept
# as written so the check knows how many decimals they have, and its TRUTH= rows as attribute.
run <- function(lines, ...) {
  writeLines(lines, file.path(work, "ld.txt"))
  old <- setwd(work)
  on.exit(setwd(old))
  unlink(c("ld.csv", "truth.csv"))
  status <- system2(binary, c("IN=ld.txt", "OUT=ld.out", "CSV=ld.csv", "TRUTH=truth.csv", "MINFREQ=0", ...),
                    stdout = FALSE, stderr = FALSE)
  if (status != 0) fail("plovanet ended with status", status, "on", paste(lines, collapse = "; "))
  structure(read.csv("ld.csv", colClasses = c(ch = "character", freq = "character")),
            truth = read.csv("truth.csv"))
}
design <- function(K, type, ...) {
  v <- list(...)
  c(paste("occasions", K), if (!is.null(type)) paste("encounters", type),
    mapply(function(name, x) paste(name, paste(x, collapse = " ")), names(v), v))
}
# Every history of one and the other, each frequency within 1e-9 relative of the reference or
# half a unit of its last written decimal.
same <- function(h, expected, what) {
  expected <- expected[expected > 0]
  if (!setequal(h$ch, names(expected)))
    fail(what, ": histories differ:", head(setdiff(union(h$ch, names(expected)), intersect(h$ch, names(expected)))))
  decimals <- nchar(sub("^[^.]*\\.?", "", h$freq))
  want <- expected[h$ch]
  off <- abs(as.numeric(h$freq) - want) - (1e-9 * want + 0.5 * 10^-decimals)
  if (any(off > 0)) fail(what, ": history", h$ch[which.max(off)], "has", h$freq[which.max(off)], "for", want[which.max(off)])
}
freq <- function(h) setNames(as.numeric(h$freq), h$ch)
chars <- function(ch, at) do.call(rbind, lapply(strsplit(ch, ""), `[`, at))

# 1. The reference model, no reports and full fidelity, against today's study.
K <- 4; n <- c(300, 100, 120, 80); s <- c(0.9, 0.8, 0.85, 0.7); th <- c(0.95, 0.9, 0.85)
p <- c(0.4, 0.3, 0.5, 0.35); cc <- c(0.5, 0.45, 0.3, 0.6)
for (by_time in c(FALSE, TRUE)) {
  h <- run(design(K, NULL, entrants = n, survival = s[-K], retention = th, p = p, c = cc),
           if (by_time) "THETA=TIME")
  e <- livedead_expected(K, n, s, th, p, cc, theta_time = by_time)
  live <- function(ch) apply(chars(ch, 2 * seq_len(K) - 1), 1, paste, collapse = "")
  same(h, tapply(e, live(names(e)), sum), "the reference model")
  for (type in c("livedead", "barker")) {
    f <- freq(run(design(K, type, entrants = n, survival = s, retention = th, p = p, c = cc, report = 0),
                  if (by_time) "THETA=TIME"))
    same(h, tapply(f, live(names(f)), sum), paste("a", type, "study"))
  }
}

# 2. plovanet's live-dead and Barker studies against the reference model.
cases <- list(
  list(type = "livedead", by_time = FALSE,
       v = list(entrants = n, survival = s, retention = th, p = p, c = cc,
                report = c(0.2, 0.1, 0.3, 0.25), fidelity = c(0.9, 0.7, 0.8))),
  list(type = "livedead", by_time = TRUE,
       v = list(entrants = c(500, 50, 0, 70, 20), survival = 0.75, retention = c(0.9, 0.8, 0.95, 0.7),
                p = 0.3, c = 0, report = 0.15)),
  list(type = "barker", by_time = FALSE,
       v = list(entrants = n, survival = s, retention = th, p = p, c = cc,
                report = c(0.2, 0.1, 0.3, 0.25), fidelity = c(0.9, 0.7, 0.8),
                resight = c(0.3, 0.2, 0.4, 0.1), resight_dead = c(0.25, 0.15, 0.05, 0.2),
                `return` = c(0.2, 0.5, 0.1))))
for (k in seq_along(cases)) {
  x <- cases[[k]]
  Kx <- length(x$v$entrants)
  h <- run(do.call(design, c(list(Kx, x$type), x$v)), if (x$by_time) "THETA=TIME")
  if (!all(nchar(h$ch) == 2 * Kx)) fail("histories of other than", 2 * Kx, "characters")
  v <- x$v
  e <- livedead_expected(Kx, v$entrants, v$survival, v$retention, v$p, v$c, v$report,
                         if (is.null(v$fidelity)) 1 else v$fidelity,
                         if (is.null(v$resight)) 0 else v$resight,
                         if (is.null(v$resight_dead)) 0 else v$resight_dead,
                         if (is.null(v$`return`)) 0 else v$`return`,
                         barker = x$type == "barker", theta_time = x$by_time)
  same(h, e, paste(x$type, "study", k))
  want <- attr(e, "truth")
  got <- attr(h, "truth")[, names(want)]
  off <- abs(as.matrix(got) - as.matrix(want)) > 1e-9 * abs(as.matrix(want)) + 1e-12
  if (any(off)) fail(x$type, "study", k, ": TRUTH=", names(want)[which(off, arr.ind = TRUE)[1, 2]],
                     "at occasion", which(off, arr.ind = TRUE)[1, 1])
}

# 3. Seber's recovery model on a study that never recaptures alive. The m-array: animals marked
# at occasion i (released), reported dead over interval j.
marray <- function(f, K) {
  at <- chars(names(f), 1:(2 * K)) == "1"
  marked <- apply(at[, 2 * (1:K) - 1, drop = FALSE], 1, which.max)
  found <- at[, 2 * (1:K), drop = FALSE]
  m <- matrix(0, K, K)
  N <- numeric(K)
  for (i in seq_along(f)) {
    N[marked[i]] <- N[marked[i]] + f[i]
    if (any(found[i, ])) m[marked[i], which(found[i, ])] <- m[marked[i], which(found[i, ])] + f[i]
  }
  list(N = N, m = m)
}
# Model M1's estimates in closed form: S_i from the recoveries of the cohorts released by i.
seber_m1 <- function(a) {
  K <- length(a$N)
  R <- rowSums(a$m); C <- colSums(a$m)
  T <- sapply(1:K, function(i) sum(a$m[1:i, i:K]))
  sapply(1:(K - 1), function(i) R[i] / a$N[i] * (T[i] - C[i]) / T[i] * a$N[i + 1] / R[i + 1])
}
seber_constant <- function(a) {
  K <- length(a$N)
  lag <- outer(1:K, 1:K, function(i, j) j - i)
  nll <- function(x) {
    S <- plogis(x[1]); r <- plogis(x[2])
    pi <- ifelse(lag >= 0, S^pmax(lag, 0) * (1 - S) * r, 0)
    -sum(a$m[lag >= 0] * log(pi[lag >= 0])) - sum((a$N - rowSums(a$m)) * log(1 - rowSums(pi)))
  }
  fit <- optim(c(0, 0), nll, method = "BFGS", control = list(reltol = 1e-15, maxit = 1000))
  if (fit$convergence != 0) fail("optim did not converge:", fit$message)
  plogis(fit$par[1])
}
recovery <- list(entrants = c(1000, 800, 800, 800, 800, 800), survival = c(0.7, 0.6, 0.75, 0.65, 0.8, 0.7),
                 p = 0.3, c = 0, report = c(0.1, 0.15, 0.2, 0.12, 0.1, 0.18))
KR <- length(recovery$entrants)
worst <- 0
for (theta in c(1, 0.9)) {
  for (constant in c(FALSE, TRUE)) {
    v <- recovery
    if (constant) { v$survival <- 0.7; v$report <- 0.15 }
    truth <- rep_len(v$survival, KR - 1) * theta
    model <- livedead_expected(KR, v$entrants, v$survival, theta, v$p, v$c, v$report)
    plo <- freq(run(do.call(design, c(list(KR, "livedead"), v, list(retention = theta)))))
    for (f in list(model, plo)) {
      a <- marray(f, KR)
      est <- if (constant) seber_constant(a) else seber_m1(a)
      err <- max(abs(est - if (constant) truth[1] else truth))
      if (err > 1e-6) fail("recovery survival", format(est), "for", format(truth), "theta", theta)
      worst <- max(worst, err)
    }
  }
}

# 4. Burnham's likelihood, constant S, p, r, F, from each animal's first capture on; the animal
# is in the area (A), gone (E) or dead (D) between sightings.
burnham_nll <- function(x, h, K) {
  S <- plogis(x[1]); p <- plogis(x[2]); r <- plogis(x[3]); F <- plogis(x[4])
  ch <- chars(h$ch, 1:(2 * K))
  first <- apply(ch == "1", 1, which.max)
  alpha <- matrix(c(1, 0, 0), nrow(ch), 3, byrow = TRUE)
  for (t in 2:(2 * K)) {
    on <- t > first
    if (t %% 2 == 0) {  # interval t / 2: death and report, or survival and fidelity
      died <- (alpha[, 1] + alpha[, 2]) * (1 - S) * ifelse(ch[, t] == "1", r, 1 - r)
      nxt <- cbind(alpha[, 1] * S * F, alpha[, 1] * S * (1 - F) + alpha[, 2] * S, alpha[, 3])
      nxt[ch[, t] == "1", ] <- 0
      nxt[, 3] <- nxt[, 3] + died
    } else {  # occasion (t + 1) / 2: live recapture in the area
      nxt <- alpha * cbind(ifelse(ch[, t] == "1", p, 1 - p), ch[, t] == "0", ch[, t] == "0")
    }
    alpha[on, ] <- nxt[on, ]
  }
  -sum(h$freq * log(rowSums(alpha)))
}
rates <- c(S = 0.75, p = 0.45, r = 0.2, F = 0.85)
KB <- 5
bv <- list(entrants = c(1000, 300, 300, 300, 300), survival = rates[["S"]], p = 0.35, c = rates[["p"]],
           report = rates[["r"]], fidelity = rates[["F"]])
model <- livedead_expected(KB, bv$entrants, bv$survival, 1, bv$p, bv$c, bv$report, bv$fidelity)
plo <- run(do.call(design, c(list(KB, "livedead"), bv)))
for (h in list(data.frame(ch = names(model), freq = as.vector(model)),
               data.frame(ch = plo$ch, freq = as.numeric(plo$freq)))) {
  fit <- optim(qlogis(c(0.5, 0.5, 0.5, 0.5)), burnham_nll, h = h, K = KB, method = "BFGS",
               control = list(reltol = 1e-15, maxit = 1000))
  if (fit$convergence != 0) fail("optim did not converge:", fit$message)
  est <- setNames(plogis(fit$par), names(rates))
  if (any(abs(est - rates) > 1e-4)) fail("Burnham's estimates", format(est), "for", format(rates))
  worst <- max(worst, abs(est - rates))
}

if (requireNamespace("RMark", quietly = TRUE)) {
  data <- RMark::process.data(data.frame(ch = plo$ch, freq = as.numeric(plo$freq)), model = "Burnham")
  if (data$nocc != KB) fail("RMark read", data$nocc, "occasions")
}
cat("livedead_estimators.R: largest error of the estimates", format(worst), "\n")
