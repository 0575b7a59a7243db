# The histories in the forms other R tools take: RMark's and marked's data frame, and a matrix of
# one row per animal for BUGS, JAGS and nimble.

# The rows of one replicate, with whole numbers of animals.
one_replicate <- function(x, rep) {
  h <- x$histories
  if (is.null(h) || nrow(h) == 0) stop("no histories in x", call. = FALSE)
  if (is.null(rep)) rep <- h$rep[1]
  h <- h[h$rep == rep, , drop = FALSE]
  if (nrow(h) == 0) stop("x has no replicate ", rep, call. = FALSE)
  h
}

as_rmark <- function(x, rep = NULL) {
  h <- one_replicate(x, rep)
  keep <- setdiff(names(h), c("rep", "dataset", "group"))
  out <- h[, keep, drop = FALSE]
  if (length(unique(h$group)) > 1) out$group <- factor(h$group)
  rownames(out) <- NULL
  out
}

as_matrix <- function(x, rep = NULL) {
  h <- one_replicate(x, rep)
  if (any(abs(h$freq - round(h$freq)) > 1e-8)) {
    stop("as_matrix needs whole numbers of animals: run with expected = FALSE", call. = FALSE)
  }
  animals <- rep(h$ch, times = round(h$freq))
  codes <- do.call(rbind, strsplit(animals, ""))
  states <- if (!is.null(x$truth$state)) unique(x$truth$state) else character()
  # Digits stand for themselves (a live-dead study's 2 is a resighting), letters for the state.
  m <- matrix(suppressWarnings(as.integer(codes)), nrow(codes))
  for (s in seq_along(states)) m[codes == states[s]] <- s
  m
}
