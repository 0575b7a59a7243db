# plovanet_study(): a study given as R arguments (or a parameter file) run by the program's own
# code, returned as data frames.

# One named-format line: the setting's name, then its values.
named_line <- function(name, value) {
  if (is.list(value)) {
    # A setting per state or covariate: list(A = c(...), B = c(...)) gives "name A ...".
    return(vapply(names(value), function(k) named_line(paste(name, k), value[[k]]), ""))
  }
  if (is.logical(value)) value <- as.integer(value)
  paste(c(name, format(value, scientific = FALSE, trim = TRUE, digits = 15)), collapse = " ")
}

# The named parameter file's text of the settings given.
named_text <- function(settings) {
  settings <- settings[!vapply(settings, is.null, TRUE)]
  # The lines that shape the histories come right after occasions.
  first <- intersect(c("occasions", "secondaries", "states", "interval", "encounters"), names(settings))
  settings <- settings[c(first, setdiff(names(settings), first))]
  lines <- unlist(Map(named_line, names(settings), settings), use.names = FALSE)
  paste0(paste(lines, collapse = "\n"), "\n")
}

# Every argument but file comes after the dots, so that short setting names (r for report) are
# never taken, by R's partial matching, for one of them; f alone would be file's, and is taken back.
plovanet_study <- function(file = NULL, ..., occasions = NULL, entrants = NULL, survival = NULL,
                           retention = NULL, p = NULL, c = NULL, expected = TRUE, reps = 1,
                           first_rep = 1, seed = NULL, groups = NULL, classes = NULL,
                           minfreq = NULL, animals = FALSE, progress = interactive()) {
  more <- list(...)
  if ("f" %in% names(sys.call())) {
    more$f <- file
    file <- NULL
  }
  if (!is.null(file)) {
    text <- paste0(paste(readLines(file, warn = FALSE), collapse = "\n"), "\n")
    name <- file
  } else {
    if (is.null(occasions) || is.null(entrants)) {
      stop("plovanet_study: give a parameter file, or at least occasions and entrants", call. = FALSE)
    }
    name <- "plovanet_study"
    text <- named_text(c(list(occasions = occasions, entrants = entrants, survival = survival,
                              retention = retention, p = p, c = c), more))
  }
  if (is.null(seed)) seed <- sample.int(.Machine$integer.max, 1L)
  keywords <- c(paste0("IN=", name), if (!expected) "STOCHASTIC", "RNG=PCG", paste0("SEED=", format(seed, scientific = FALSE)),
                if (!is.null(groups)) paste0("GROUPS=", groups),
                if (!is.null(classes)) paste0("CLASSES=", classes),
                if (!is.null(minfreq)) paste0("MINFREQ=", format(minfreq, scientific = FALSE)))
  reps <- as.integer(reps)
  first_rep <- as.integer(first_rep)
  # Replicates draw from streams of their own numbers, so a study run in chunks is the same study;
  # between chunks the bar moves.
  chunk <- if (progress && reps > 1) max(1L, reps %/% 50L) else reps
  bar <- if (chunk < reps) utils::txtProgressBar(min = 0, max = reps, style = 3)
  parts <- list()
  done <- 0L
  while (done < reps) {
    n <- min(chunk, reps - done)
    kw <- c(keywords, if (reps > 1 || first_rep > 1) c(paste0("REPS=", n), paste0("FIRSTREP=", first_rep + done)))
    parts[[length(parts) + 1L]] <- .plovanet_run(text, kw, isTRUE(animals), FALSE)
    done <- done + n
    if (!is.null(bar)) utils::setTxtProgressBar(bar, done)
  }
  if (!is.null(bar)) close(bar)
  for (w in unique(unlist(lapply(parts, `[[`, "warnings")))) warning(w, call. = FALSE)
  join <- function(name) {
    frames <- lapply(parts, `[[`, name)
    frames <- frames[vapply(frames, length, 0L) > 0]
    if (length(frames) == 0) return(NULL)
    do.call(rbind, frames)
  }
  out <- list(histories = join("histories"), truth = join("truth"))
  if (isTRUE(animals)) out$animals <- join("animals")
  # What write_mark() needs to run a replicate again in the MARK layout.
  attr(out, "study") <- list(text = text, keywords = keywords, first_rep = first_rep, reps = reps)
  out
}
