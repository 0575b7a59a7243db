# Estimators of individual heterogeneity, written here and fitted to what plovanet writes:
# - Huggins's conditional likelihood with a logit-linear individual covariate (Huggins 1989),
#   fitted to each replicate of a stochastic closed study (INDIVIDUAL with CSV=), recovers the
#   slopes: the 95% intervals cover them in about 95% of replicates, and the Horvitz-Thompson
#   estimate of N is unbiased.
# - On expected values of logit-normal heterogeneity in p, M0 underestimates N (as theory says),
#   and the logit-normal Mh likelihood, integrated by Gauss-Hermite quadrature (Coull and Agresti
#   1999), recovers SIGMA and N.
# - ANIMALS= lists every animal: its caught ones are the INDIVIDUAL rows, with the same values.
#   Where RMark is installed, its process.data reads them with their covariates.
args <- commandArgs(trailingOnly = TRUE)
binary <- normalizePath(args[1])
work <- tempfile("plovanet_ind")
dir.create(work)
on.exit(unlink(work, recursive = TRUE))
fail <- function(...) { cat("individual_estimators.R:", ..., "\n"); quit(status = 1) }
run <- function(file, lines, ...) {
  writeLines(lines, file.path(work, file))
  old <- setwd(work)
  status <- system2(binary, c(paste0("IN=", file), ...), stdout = FALSE, stderr = FALSE)
  setwd(old)
  if (status != 0) fail("plovanet ended with status", status, "on", file)
}
K <- 6
captures <- function(ch) nchar(gsub("0", "", ch))
bits <- function(ch) matrix(as.integer(unlist(strsplit(ch, ""))), ncol = K, byrow = TRUE)

# ---- A covariate on p: Huggins's likelihood, replicate by replicate ----
beta <- c(mass = 0.7, sex = -0.4)
N <- 2500
reps <- 40
run("cov.txt", c(paste("occasions", K), paste("entrants", N, "0 0 0 0 0"), "survival 1", "p 0.25",
                 "covariate mass normal 0 1", "covariate sex categories 0.5 0.5",
                 "effect p mass 0.7", "effect c mass 0.7", "effect p sex -0.4", "effect c sex -0.4"),
    "OUT=cov.out", "STOCHASTIC", "INDIVIDUAL", paste0("REPS=", reps), "SEED=29", "CSV=cov.csv",
    "ANIMALS=animals.csv")
rows <- read.csv(file.path(work, "cov.csv"), colClasses = c(ch = "character"))
if (!all(rows$freq == 1)) fail("INDIVIDUAL rows of frequency other than 1")
# y: each caught animal's number of captures; X: its covariates with an intercept.
huggins <- function(y, X) {
  nll <- function(th) {
    p <- plogis(drop(X %*% th))
    -sum(y * log(p) + (K - y) * log1p(-p)) + sum(log1p(-(1 - p)^K))
  }
  fit <- optim(c(qlogis(0.25), 0, 0), nll, method = "BFGS", hessian = TRUE,
               control = list(reltol = 1e-12, maxit = 500))
  if (fit$convergence != 0) fail("optim did not converge")
  p <- plogis(drop(X %*% fit$par))
  list(par = fit$par, se = sqrt(diag(solve(fit$hessian))), N = sum(1 / (1 - (1 - p)^K)))
}
covered <- c(mass = 0, sex = 0)
slopes <- matrix(NA, reps, 2, dimnames = list(NULL, names(beta)))
Nhat <- numeric(reps)
for (r in seq_len(reps)) {
  d <- rows[rows$rep == r, ]
  # Capture counts suffice: without a trap response every occasion has the animal's one p.
  fit <- huggins(rowSums(bits(d$ch)), cbind(1, d$mass, d$sex))
  est <- fit$par[2:3]
  covered <- covered + (abs(est - beta) < 1.96 * fit$se[2:3])
  slopes[r, ] <- est
  Nhat[r] <- fit$N
}
if (any(covered < 33)) fail("95% intervals covered the slopes in", covered, "of", reps, "replicates")
z <- (colMeans(slopes) - beta) / (apply(slopes, 2, sd) / sqrt(reps))
if (any(abs(z) > 3.5)) fail("mean slopes", colMeans(slopes), "for", beta)
zN <- (mean(Nhat) - N) / (sd(Nhat) / sqrt(reps))
if (abs(zN) > 3.5) fail("mean N estimate", mean(Nhat), "for", N)

# ANIMALS=: every animal, the caught ones as INDIVIDUAL wrote them.
animals <- read.csv(file.path(work, "animals.csv"), colClasses = c(ch = "character"))
if (nrow(animals) != N * reps) fail("ANIMALS= holds", nrow(animals), "animals of", N * reps)
caught <- animals[animals$ch != strrep("0", K), ]
key <- function(d) sort(paste(d$rep, d$ch, format(d$mass, nsmall = 6), d$sex))
if (!identical(key(caught), key(rows))) fail("the caught animals of ANIMALS= are not the INDIVIDUAL rows")
if (requireNamespace("RMark", quietly = TRUE)) {
  data <- RMark::process.data(caught[caught$rep == 1, c("ch", "mass", "sex")], model = "Huggins")
  if (!all(c("mass", "sex") %in% names(data$data))) fail("RMark did not keep the covariates")
}

# ---- Logit-normal heterogeneity: M0 against Mh, on expected values ----
sigma <- 1
run("mh.txt", c(paste("occasions", K), "entrants 5000 0 0 0 0 0", "survival 1", "p 0.3",
                paste("heterogeneity p", sigma)),
    "OUT=mh.out", "CSV=mh.csv", "MINFREQ=0")
h <- read.csv(file.path(work, "mh.csv"), colClasses = c(ch = "character"))
f <- tapply(h$freq, factor(captures(h$ch), levels = 1:K), sum)
f[is.na(f)] <- 0
n <- sum(f)
k <- 1:K
m0 <- optimize(function(p) -sum(f * (dbinom(k, K, p, log = TRUE) - log1p(-(1 - p)^K))), c(0.01, 0.99),
               tol = 1e-12)
N0 <- n / (1 - (1 - m0$minimum)^K)
if (!(N0 < 0.97 * 5000)) fail("M0 estimated N", N0, "under heterogeneity: not biased low")
# Gauss-Hermite nodes for the standard normal (Golub-Welsch).
gh <- function(m) {
  e <- eigen(diag(0, m) + rbind(0, cbind(diag(sqrt(seq_len(m - 1))), 0)) +
             cbind(0, rbind(diag(sqrt(seq_len(m - 1))), 0)), symmetric = TRUE)
  list(t = e$values, w = e$vectors[1, ]^2)
}
q <- gh(60)
pik <- function(mu, s) {
  p <- plogis(mu + s * q$t)
  sapply(0:K, function(j) sum(q$w * dbinom(j, K, p)))
}
mh <- optim(c(qlogis(0.3), log(0.5)), function(th) {
  pi <- pik(th[1], exp(th[2]))
  -sum(f * log(pi[-1] / (1 - pi[1])))
}, method = "BFGS", control = list(reltol = 1e-15, maxit = 1000))
shat <- exp(mh$par[2])
Nh <- n / (1 - pik(mh$par[1], shat)[1])
if (abs(shat - sigma) > 0.01 || abs(Nh - 5000) > 25)
  fail("Mh estimated sigma", shat, "and N", Nh, "for", sigma, "and 5000")
cat("individual_estimators.R: slopes covered in", covered, "of", reps, "replicates; M0 N", N0,
    "; Mh sigma", shat, "N", Nh, "\n")
