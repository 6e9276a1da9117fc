// Where the protocol manager holds a command record: the steps a record may take, and that a
// sender's time-out and an abandoned record's release change only the states they name.
#include "commandexchange.h"

#include <gtest/gtest.h>

namespace {

using Withdrawal = CommandExchange::Withdrawal;

TEST(CommandExchangeTest, QueuedWhilePendingInTheMailboxOrAbandonedThere)
{
    CommandExchange exchange;
    EXPECT_FALSE(exchange.IsQueued());
    exchange.Queue();
    EXPECT_TRUE(exchange.IsQueued());
    exchange.EnterMailbox();
    EXPECT_TRUE(exchange.IsQueued());
    exchange.Answer();
    EXPECT_FALSE(exchange.IsQueued());
    EXPECT_FALSE(exchange.IsAbandoned());
}

TEST(CommandExchangeTest, WithdrawalDependsOnWhereTheRecordIs)
{
    CommandExchange exchange;
    EXPECT_EQ(exchange.Withdraw(), Withdrawal::None); // idle: nothing to withdraw

    exchange.Queue();
    EXPECT_EQ(exchange.Withdraw(), Withdrawal::FromPendingList);
    EXPECT_FALSE(exchange.IsQueued());

    exchange.Queue();
    exchange.EnterMailbox();
    EXPECT_EQ(exchange.Withdraw(), Withdrawal::FromMailbox);
    EXPECT_TRUE(exchange.IsAbandoned());
    EXPECT_TRUE(exchange.IsQueued()); // still in the mailbox: it must not be queued again
    EXPECT_EQ(exchange.Withdraw(), Withdrawal::None);

    exchange.Queue();
    exchange.EnterMailbox();
    exchange.Answer();
    EXPECT_EQ(exchange.Withdraw(), Withdrawal::None); // the answer reached it first
}

TEST(CommandExchangeTest, OnlyAnAbandonedRecordIsReleased)
{
    CommandExchange exchange;
    EXPECT_FALSE(exchange.ReleaseAbandoned());
    exchange.Queue();
    exchange.EnterMailbox();
    EXPECT_FALSE(exchange.ReleaseAbandoned());
    EXPECT_TRUE(exchange.IsQueued());
    exchange.Withdraw();
    EXPECT_TRUE(exchange.ReleaseAbandoned());
    EXPECT_FALSE(exchange.IsQueued());
    EXPECT_FALSE(exchange.ReleaseAbandoned());

    exchange.Queue();
    exchange.Reset();
    EXPECT_FALSE(exchange.IsQueued());
}

} // namespace
