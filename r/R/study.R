# plovanet_study(): a study given as R arguments (or a parameter file) run by the program's own
# code, returned as data frames.

fail <- function(...) stop("plovanet_study: ", ..., call. = FALSE)

# Numbers as the shortest text that reads back as the same double, so that a file made from
# arguments is the study R holds and messages quote values as R prints them.
number_text <- function(x) {
  text <- sprintf("%.15g", x)
  loose <- as.numeric(text) != x
  text[loose] <- sprintf("%.17g", x[loose])
  text
}

# One named-format line: the setting's name, then its values.
named_line <- function(name, value) {
  if (is.list(value)) {
    # A setting per state or covariate: list(A = c(...), B = c(...)) gives "name A ...".
    if (is.null(names(value)) || any(names(value) == "")) {
      fail(name, " is a list: name each element (the state, move or covariate it is for)")
    }
    return(unlist(lapply(names(value), function(k) named_line(paste(name, k), value[[k]]))))
  }
  if (!is.atomic(value) || length(value) == 0 || anyNA(value)) {
    fail(name, " needs one or more values, not ", deparse1(value, width.cutoff = 40))
  }
  if (is.logical(value)) value <- as.integer(value)
  if (is.numeric(value)) value <- number_text(value)
  paste(c(name, value), collapse = " ")
}

# The named parameter file's text of one or more data sets, each a list of settings; the names
# of those that vary from one to the next in the attribute varies.
named_text <- function(sets) {
  # The lines that shape the histories come right after occasions.
  head <- c("occasions", "secondaries", "states", "interval", "encounters")
  first <- sets[[1]]
  first <- first[c(intersect(head, names(first)), setdiff(names(first), head))]
  lines <- unlist(Map(named_line, names(first), first), use.names = FALSE)
  # A dataset line starts a copy of the data set before it: each later one names what varies.
  varies <- attr(sets, "varies")
  for (set in sets[-1]) {
    lines <- c(lines, "dataset", unlist(Map(named_line, varies, set[varies]), use.names = FALSE))
  }
  paste0(paste(lines, collapse = "\n"), "\n")
}

# The data sets of the arguments, group by group and class by class within a group, each the
# arguments with its group's and its class's settings over them.
data_sets <- function(settings, groups, classes) {
  parts <- function(x, what) {
    if (is.null(x)) return(list(list()))
    if (!is.list(x) || length(x) == 0 || !all(vapply(x, is.list, TRUE))) {
      fail(what, " is a list of one list of settings for each ", sub("s$", "", what),
           ", or with a file the number of them")
    }
    x
  }
  sets <- list()
  for (g in parts(groups, "groups")) {
    for (k in parts(classes, "classes")) {
      set <- settings
      set[names(g)] <- g
      set[names(k)] <- k
      sets[[length(sets) + 1L]] <- set[!vapply(set, is.null, TRUE)]
    }
  }
  # A later data set copies its predecessor's value of a setting it does not name: one that varies
  # must be set for each data set, or a group would quietly take another's.
  varies <- unique(unlist(lapply(c(groups, classes), names)))
  for (name in varies) {
    if (!all(vapply(sets, function(s) !is.null(s[[name]]), TRUE))) {
      fail(name, " is set for some groups or classes only: give it for each, or as an argument")
    }
  }
  attr(sets, "varies") <- varies
  sets
}

flag <- function(x, name) {
  if (!is.logical(x) || length(x) != 1 || is.na(x)) fail(name, " must be TRUE or FALSE")
  x
}

# A whole number from low to high, as the keyword's text.
whole <- function(x, name, low, high = .Machine$integer.max) {
  if (!is.numeric(x) || length(x) != 1 || is.na(x) || x != round(x) || x < low || x > high) {
    fail(name, " must be a whole number from ", format(low, scientific = FALSE), " to ",
         format(high, scientific = FALSE))
  }
  format(x, scientific = FALSE)
}

# Every argument comes after the dots, so that short setting names (f, r for report) are never
# taken, by R's partial matching, for one of them; a file may still come first, unnamed.
plovanet_study <- function(..., file = NULL, occasions = NULL, entrants = NULL, survival = NULL,
                           retention = NULL, p = NULL, c = NULL, expected = TRUE, reps = 1,
                           first_rep = 1, seed = NULL, groups = NULL, classes = NULL,
                           minfreq = NULL, recruit = NULL, usef1 = FALSE, theta = "age",
                           individual = FALSE, animals = FALSE, progress = interactive()) {
  more <- list(...)
  unnamed <- if (is.null(names(more))) rep(TRUE, length(more)) else names(more) == ""
  if (is.null(file) && length(more) > 0 && unnamed[1]) {
    file <- more[[1]]
    more <- more[-1]
    unnamed <- unnamed[-1]
  }
  if (any(unnamed)) {
    fail("settings are given by name, as in the named parameter file (states = \"A B\")")
  }
  flag(expected, "expected")
  flag(usef1, "usef1")
  flag(individual, "individual")
  flag(animals, "animals")
  flag(progress, "progress")
  reps <- as.integer(whole(reps, "reps", 1))
  first_rep <- as.integer(whole(first_rep, "first_rep", 1))
  if (is.null(seed)) seed <- sample.int(.Machine$integer.max, 1L)
  seed_text <- whole(seed, "seed", -.Machine$integer.max - 1, .Machine$integer.max)
  if (!is.null(minfreq) && (!is.numeric(minfreq) || length(minfreq) != 1 || is.na(minfreq) ||
                            minfreq < 0)) {
    fail("minfreq must be a number, 0 or more")
  }
  if (!is.null(recruit) && !identical(recruit, "binomial") && !identical(recruit, "normal")) {
    fail("recruit must be \"binomial\" or \"normal\"")
  }
  if (!identical(theta, "age") && !identical(theta, "time")) fail("theta must be \"age\" or \"time\"")
  if (expected && (individual || animals)) {
    fail("individual and animals list the animals of a random realisation: give expected = FALSE")
  }
  settings <- c(list(occasions = occasions, entrants = entrants, survival = survival,
                     retention = retention, p = p, c = c), more)
  counts <- character()
  if (!is.null(file)) {
    if (!is.character(file) || length(file) != 1 || is.na(file)) fail("file must be one path")
    if (!file.exists(file) || dir.exists(file)) fail("cannot read the parameter file ", file)
    if (any(!vapply(settings, is.null, TRUE))) fail("give a parameter file or settings, not both")
    # Its bytes as they are, as the command line reads them (line ends included).
    text <- rawToChar(readBin(file, "raw", file.size(file)))
    name <- file
    # With a file, groups and classes are the numbers of them, as GROUPS= and CLASSES= take.
    if (!is.null(groups)) counts <- c(counts, paste0("GROUPS=", whole(groups, "groups", 1)))
    if (!is.null(classes)) counts <- c(counts, paste0("CLASSES=", whole(classes, "classes", 1)))
  } else {
    if (is.null(occasions) || is.null(entrants)) {
      fail("give a parameter file, or at least occasions and entrants")
    }
    name <- "plovanet_study"
    text <- named_text(data_sets(settings, groups, classes))
    if (!is.null(groups)) counts <- c(counts, paste0("GROUPS=", length(groups)))
    if (!is.null(classes)) counts <- c(counts, paste0("CLASSES=", length(classes)))
  }
  keywords <- c(paste0("IN=", name), if (!expected) "STOCHASTIC", "RNG=PCG",
                paste0("SEED=", seed_text), counts,
                if (!is.null(minfreq)) paste0("MINFREQ=", format(minfreq, scientific = FALSE)),
                if (!is.null(recruit)) paste0("RECRUIT=", toupper(recruit)),
                if (usef1) "USEF1", if (theta == "time") "THETA=TIME",
                if (individual) "INDIVIDUAL")
  # Replicates draw from streams of their own numbers, so a study run in chunks is the same study;
  # between chunks the bar moves.
  chunk <- if (progress && reps > 1) max(1L, reps %/% 50L) else reps
  bar <- if (chunk < reps) utils::txtProgressBar(min = 0, max = reps, style = 3)
  parts <- list()
  done <- 0L
  while (done < reps) {
    n <- min(chunk, reps - done)
    kw <- c(keywords, if (reps > 1 || first_rep > 1) c(paste0("REPS=", n), paste0("FIRSTREP=", first_rep + done)))
    parts[[length(parts) + 1L]] <- .plovanet_run(text, kw, animals, FALSE)
    done <- done + n
    if (!is.null(bar)) utils::setTxtProgressBar(bar, done)
  }
  if (!is.null(bar)) close(bar)
  warnings <- unique(unlist(lapply(parts, `[[`, "warnings")))
  # The program's own words for this name files and keywords that a caller of R never saw.
  same <- grepl("^REPS=[0-9]+ without STOCHASTIC", warnings)
  if (any(same)) {
    warnings[same] <- paste0("reps = ", reps, " with expected = TRUE gives ", reps,
                             " identical replicates of expected values; set expected = FALSE for random ones")
  }
  for (w in unique(warnings)) warning(w, call. = FALSE)
  join <- function(name) {
    frames <- lapply(parts, `[[`, name)
    frames <- frames[vapply(frames, length, 0L) > 0]
    if (length(frames) == 0) return(NULL)
    if (length(frames) == 1) return(frames[[1]])
    # Column by column: rbind of data frames would take longer than the study.
    columns <- names(frames[[1]])
    joined <- lapply(columns, function(k) unlist(lapply(frames, `[[`, k), use.names = FALSE))
    structure(stats::setNames(joined, columns), class = "data.frame",
              row.names = c(NA_integer_, -length(joined[[1]])))
  }
  out <- list(histories = join("histories"), truth = join("truth"))
  if (animals) out$animals <- join("animals")
  # What write_mark() needs to run a replicate again in the MARK layout.
  attr(out, "study") <- list(text = text, keywords = keywords, first_rep = first_rep, reps = reps)
  out
}
