# Expected history frequencies of a joint live-dead study (live captures with dead recoveries, and
# with Barker's live resightings), worked out here from the model alone, apart from the program's
# engine, so the checks can hold plovanet's CSV= to it. Sourced by the estimator checks.
#
# Every animal is followed through its latent paths: in the study area or gone, carrying a tag
# (and since when) or not, alive or dead. Paths that share all of that are merged at each
# occasion, so the enumeration stays small for the few occasions the checks use.
#
# The order assumed, over occasion i and the interval i that follows it:
#   1. live capture, in the study area only: p for an unmarked animal, c for a marked one; an
#      unmarked animal that is caught is marked now;
#   2. survival s_i;
#   3. an animal that dies over the interval carries the tag it had at occasion i: it is reported
#      dead with r_i ('1'); in Barker's model one that is not reported was seen alive before it
#      died with R'_i ('2'), the dead recovery taking precedence as Barker (1997) and MARK code it;
#   4. a survivor keeps its tag with theta (by the tag's age, or by interval with theta_time;
#      none lost over interval K, after which no occasion could tell a loser apart); one that
#      loses it ends its history there ('0') and carries on as an unmarked animal, a stranger to
#      the study;
#   5. in Barker's model a survivor that kept its tag is resighted alive with R_i ('2');
#   6. a survivor in the study area stays with F_i, else it is gone for good (never caught alive
#      again, still reported or resighted); in Barker's model one that is gone comes back with
#      F'_i (`ret`);
#   7. the next occasion's entrants join, unmarked and in the study area.
# History of 2K characters: occasion i's live character, then interval i's.
#
# The frequencies come back with the true numbers of each occasion as attribute "truth": the
# animals alive (entrants included, in the area or gone), caught, tags lost over the interval
# before, and over the interval after: dead (marked or not), reported dead, and leaving the area.

# One value stands for all, as in the named format.
ld_stretch <- function(x, n) if (length(x) == 1) rep(x, n) else { stopifnot(length(x) == n); x }

livedead_expected <- function(K, n, s, theta = 1, p, c = p, r = 0, fid = 1, rs = 0, rsd = 0,
                              ret = 0, barker = FALSE, theta_time = FALSE) {
  n <- ld_stretch(n, K); s <- ld_stretch(s, K); p <- ld_stretch(p, K); c <- ld_stretch(c, K)
  r <- ld_stretch(r, K); theta <- ld_stretch(theta, max(K - 1, 1))
  fid <- ld_stretch(fid, max(K - 1, 1)); ret <- ld_stretch(ret, max(K - 1, 1))
  rs <- ld_stretch(rs, K); rsd <- ld_stretch(rsd, K)
  if (!barker) { rs[] <- 0; rsd[] <- 0; ret[] <- 0 }
  width <- 2 * K
  done <- numeric(0)  # finished histories
  truth <- data.frame(occasion = 1:K, alive = 0, captured = 0, tags_lost = 0, died = 0, reported = 0,
                      emigrated = 0)
  finish <- function(h, w) {
    keep <- w > 0
    if (!any(keep)) return(invisible())
    h <- formatC(h[keep], width = -width, flag = "-")
    h <- gsub(" ", "0", h, fixed = TRUE)
    add <- tapply(w[keep], h, sum)
    old <- done[names(add)]
    old[is.na(old)] <- 0
    done[names(add)] <<- old + add
  }
  # Living animals: history so far (marked ones), marking occasion m (0: unmarked), in the area a.
  alive <- data.frame(h = character(0), m = integer(0), a = integer(0), w = numeric(0))
  merge_paths <- function(x) {
    x <- x[x$w > 0, , drop = FALSE]
    if (nrow(x) == 0) return(x)
    key <- paste(x$h, x$m, x$a, sep = "|")
    w <- tapply(x$w, key, sum)
    first <- x[match(names(w), key), c("h", "m", "a")]
    first$w <- as.vector(w)
    rownames(first) <- NULL
    first
  }
  for (i in seq_len(K)) {
    alive <- merge_paths(rbind(alive, data.frame(h = "", m = 0L, a = 1L, w = n[i])))
    truth$alive[i] <- sum(alive$w)
    # Live capture.
    q <- ifelse(alive$a == 1, ifelse(alive$m == 0, p[i], c[i]), 0)
    caught <- alive
    caught$w <- alive$w * q
    caught$h <- ifelse(alive$m == 0, paste0(strrep("0", 2 * (i - 1)), "1"), paste0(alive$h, "1"))
    caught$m <- ifelse(alive$m == 0, i, alive$m)
    missed <- alive
    missed$w <- alive$w * (1 - q)
    missed$h <- ifelse(alive$m == 0, "", paste0(alive$h, "0"))
    truth$captured[i] <- sum(caught$w)
    x <- rbind(caught, missed)
    marked <- x$m > 0
    # Deaths over interval i: reported, else (Barker) seen alive before dying.
    dead <- x$w * (1 - s[i])
    truth$died[i] <- sum(dead)
    truth$reported[i] <- sum(dead[marked] * r[i])
    finish(paste0(x$h[marked], "1"), dead[marked] * r[i])
    finish(paste0(x$h[marked], "2"), dead[marked] * (1 - r[i]) * rsd[i])
    finish(paste0(x$h[marked], "0"), dead[marked] * (1 - r[i]) * (1 - rsd[i]))
    # Survivors: the tag, then (tag keepers) resighted, then where they are.
    surv <- transform(x, w = x$w * s[i])
    th <- if (i == K) rep(1, nrow(x)) else
      ifelse(x$m == 0, 1, if (theta_time) theta[i] else theta[pmax(i - x$m + 1, 1)])
    lost <- marked & th < 1
    finish(paste0(x$h[lost], "0"), surv$w[lost] * (1 - th[lost]))
    losers <- transform(surv, h = "", m = 0L, w = w * (1 - th))
    keepers <- rbind(transform(surv, h = ifelse(marked, paste0(h, "2"), h), w = w * th * ifelse(marked, rs[i], 0)),
                     transform(surv, h = ifelse(marked, paste0(h, "0"), h), w = w * th * ifelse(marked, 1 - rs[i], 1)))
    if (i == K) {
      finish(keepers$h[keepers$m > 0], keepers$w[keepers$m > 0])
      break
    }
    y <- rbind(keepers, losers)
    truth$tags_lost[i + 1] <- sum(losers$w)
    stay <- ifelse(y$a == 1, fid[i], ret[i])
    truth$emigrated[i] <- sum(y$w[y$a == 1] * (1 - fid[i]))
    alive <- merge_paths(rbind(transform(y, a = 1L, w = w * stay),
                               transform(y, a = 0L, w = w * (1 - stay))))
  }
  structure(done[order(names(done))], truth = truth)
}
